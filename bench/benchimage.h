#pragma once

#include <QByteArray>
#include <QTemporaryFile>

// The flash image built into the updater, or its first `pages` pages when
// `pages` is above 0; empty when the resource cannot be read.
QByteArray builtInImage(int pages);

// An image in a file of its own, since the session reads what it writes from a file.
class ImageFile
{
public:
    explicit ImageFile(const QByteArray &image);

    // False when the file could not be written.
    bool isValid() const { return valid; }
    QString path() const { return file.fileName(); }
    const QByteArray &bytes() const { return image; }
    qsizetype size() const { return image.size(); }

private:
    QByteArray image;
    QTemporaryFile file;
    bool valid = false;
};
