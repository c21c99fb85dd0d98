#pragma once

#include <QByteArray>
#include <QString>

// The image to write, read and checked before the device is asked anything:
// the one built in must still be the one whose digest was taken at build
// time; a file of the user's must be readable and fit the flash.
struct FirmwareImage
{
    // 1,023 blocks of 64 pages of 2,048 bytes: the flash less the block that
    // keeps the list of bad blocks.
    static constexpr qint64 MaxSize = 1023LL * 64 * 2048;

    QByteArray bytes;
    QString name;      // the version for the built-in image, else the file's name
    QByteArray sha256; // in hex
    QString problem;   // why it must not be written; empty when it may

    static FirmwareImage loadBuiltIn();
    static FirmwareImage loadFile(const QString &path);
    // The built-in image for its resource path, else the file.
    static FirmwareImage load(const QString &path);

    // One line for the log and --info: name, size and digest; the problem
    // instead when there is one.
    QString description() const;
};
