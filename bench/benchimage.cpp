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
    valid = file.open() && file.write(image) == image.size() && file.flush();
}
