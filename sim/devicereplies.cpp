#include "devicereplies.h"

#include "pack7.h"

namespace DeviceReply {

namespace {

constexpr int SevenBits = 7;
constexpr std::uint8_t LowSeven = 0x7F;
constexpr std::uint8_t NameEnd = 0x7F;
constexpr int SerialGroups = 4;
constexpr int VersionGroups = 2;

QByteArray head(std::uint8_t type)
{
    QByteArray message;
    message.reserve(SysEx::MaxMessageLength);
    for (std::uint8_t b : SysEx::Head)
        message.append(static_cast<char>(b));
    message.append(SysEx::HeadLength - int(SysEx::Head.size()), '\0');
    message.append(static_cast<char>(type));
    return message;
}

void appendGroups(QByteArray &message, std::uint32_t value, int groups)
{
    for (int i = 0; i < groups; ++i)
        message.append(static_cast<char>((value >> (SevenBits * i)) & LowSeven));
}

QByteArray finished(QByteArray message)
{
    message.append(static_cast<char>(SysEx::End));
    return message;
}

} // namespace

QByteArray identity(std::uint32_t serialNumber, std::uint32_t firmwareVersion, const QString &name)
{
    QByteArray message = head(answerType(Command::Identify));
    for (int i = 0; i < SerialGroups; ++i)
        message[int(SysEx::Head.size()) + i] = static_cast<char>((serialNumber >> (SevenBits * i)) & LowSeven);
    appendGroups(message, firmwareVersion, VersionGroups);
    const QByteArray text = name.left(MaxNameLength).toLatin1();
    for (char c : text) {
        // 0x00 and 0x7F would end the name early on the other side.
        const auto b = static_cast<std::uint8_t>(c) & LowSeven;
        message.append(static_cast<char>(b == 0 || b == NameEnd ? '?' : b));
    }
    if (text.size() < MaxNameLength)
        message.append(static_cast<char>(NameEnd));
    return finished(message);
}

QByteArray data(std::uint8_t type, const std::uint8_t *bytes, std::size_t length)
{
    QByteArray message = head(type);
    message.append(static_cast<char>(Pack7::checksum(bytes, length)));
    const int at = message.size();
    message.resize(at + int(Pack7::groupsFor(length) * Pack7::GroupBytes));
    Pack7::encode(bytes, length, reinterpret_cast<std::uint8_t *>(message.data()) + at);
    return finished(message);
}

QByteArray status(std::uint8_t type, std::uint8_t status)
{
    QByteArray message = head(type);
    message.append(static_cast<char>(status & LowSeven));
    return finished(message);
}

QByteArray bare(std::uint8_t type)
{
    return finished(head(type));
}

QByteArray transferState(bool on)
{
    return status(SysEx::TransferStateType, on ? 1 : 0);
}

} // namespace DeviceReply
