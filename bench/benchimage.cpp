#include "benchimage.h"

#include "pageframe.h"
#include "resourcepaths.h"

#include <QFile>

QByteArray builtInImage(int pages)
{
    QFile file(ResourcePaths::FirmwareImage);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray image = file.readAll();
    if (pages > 0)
        image.truncate(qsizetype(pages) * PageFrame::DataSize);
    return image;
}

ImageFile::ImageFile(const QByteArray &image)
    : image(image)
{
    // Named now: Qt keeps a new temporary file unnamed until asked, and cannot
    // name it once a private JACK server has given the process a mount
    // namespace of its own.
    valid = file.open() && file.write(image) == image.size() && file.flush() && !file.fileName().isEmpty();
}
