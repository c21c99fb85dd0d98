#pragma once

#include "devicebytes.h"

#include <QByteArray>
#include <QString>

#include <string>

// Between the device model's plain types and Qt's, for the Qt side only.
inline QByteArray toQByteArray(const Bytes &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

inline Bytes toBytes(const QByteArray &bytes)
{
    const auto *first = reinterpret_cast<const std::uint8_t *>(bytes.constData());
    return Bytes(first, first + bytes.size());
}

inline QString toQString(const std::string &text)
{
    return QString::fromStdString(text);
}
