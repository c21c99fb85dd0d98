#include "firmwareimage.h"

#include "firmwareversion.h"
#include "imagedigest.h"
#include "resourcepaths.h"
#include "sessiontexts.h"
#include "texts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

QByteArray sha256Hex(const QByteArray &bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

} // namespace

FirmwareImage FirmwareImage::loadBuiltIn()
{
    FirmwareImage image;
    image.name = QString::fromStdString(FirmwareVersion::text(FirmwareVersion::carried()));
    QFile file(ResourcePaths::FirmwareImage);
    if (file.open(QIODevice::ReadOnly))
        image.bytes = file.readAll();
    image.sha256 = sha256Hex(image.bytes);
    if (image.bytes.size() != ImageDigest::Size || image.sha256 != ImageDigest::Sha256) {
        image.bytes.clear(); // what must not be written is not kept
        image.problem = Texts::render(SessionTexts::imageDamaged());
    }
    return image;
}

FirmwareImage FirmwareImage::loadFile(const QString &path)
{
    FirmwareImage image;
    image.name = QLatin1Char('"') + QFileInfo(path).fileName() + QLatin1Char('"');
    const QString shown = QDir::toNativeSeparators(path);
    QFile file(path);
    // The size first: a file far too large is refused without being read.
    const qint64 size = file.open(QIODevice::ReadOnly) ? file.size() : -1;
    if (size == 0) {
        image.problem = Texts::tr("The image file \"%1\" is empty, so nothing was sent to the device.").arg(shown);
    } else if (size > MaxSize) {
        image.problem = Texts::tr("The image file \"%1\" has %2 bytes, more than the %3 bytes the device's flash "
                                  "can hold, so nothing was sent to the device.")
                            .arg(shown, QLocale().toString(size), QLocale().toString(MaxSize));
    } else {
        if (size > 0)
            image.bytes = file.readAll();
        if (image.bytes.size() != size) {
            image.bytes.clear();
            image.problem = Texts::tr("The image file \"%1\" could not be read (%2), so nothing was sent to the "
                                      "device.")
                                .arg(shown, file.errorString());
        }
    }
    image.sha256 = sha256Hex(image.bytes);
    return image;
}

FirmwareImage FirmwareImage::load(const QString &path)
{
    return path == ResourcePaths::FirmwareImage ? loadBuiltIn() : loadFile(path);
}

QString FirmwareImage::description() const
{
    if (!problem.isEmpty())
        return problem;
    return Texts::tr("Firmware image %1, %2 bytes, SHA-256 %3")
        .arg(name, QLocale().toString(qint64(bytes.size())), QString::fromLatin1(sha256));
}
