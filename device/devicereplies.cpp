#include "devicereplies.h"

#include "pack7.h"

namespace DeviceReply {

namespace {

constexpr int SevenBits = 7;
constexpr std::uint8_t LowSeven = 0x7F;
constexpr std::uint8_t NameEnd = 0x7F;
constexpr int SerialGroups = 4;
constexpr int VersionGroups = 2;

Bytes head(std::uint8_t type)
{
    Bytes message;
    message.reserve(SysEx::MaxMessageLength);
    message.assign(SysEx::Head.begin(), SysEx::Head.end());
    message.resize(SysEx::HeadLength, 0);
    message.push_back(type);
    return message;
}

void appendGroups(Bytes &message, std::uint32_t value, int groups)
{
    for (int i = 0; i < groups; ++i)
        message.push_back(static_cast<std::uint8_t>((value >> (SevenBits * i)) & LowSeven));
}

Bytes finished(Bytes message)
{
    message.push_back(SysEx::End);
    return message;
}

} // namespace

Bytes identity(std::uint32_t serialNumber, std::uint32_t firmwareVersion, const std::string &name)
{
    Bytes message = head(answerType(Command::Identify));
    for (int i = 0; i < SerialGroups; ++i)
        message[SysEx::Head.size() + std::size_t(i)] = static_cast<std::uint8_t>((serialNumber >> (SevenBits * i)) & LowSeven);
    appendGroups(message, firmwareVersion, VersionGroups);
    const std::string text = name.substr(0, MaxNameLength);
    for (char c : text) {
        // 0x00 and 0x7F would end the name early on the other side.
        const auto b = static_cast<std::uint8_t>(static_cast<std::uint8_t>(c) & LowSeven);
        message.push_back(b == 0 || b == NameEnd ? std::uint8_t('?') : b);
    }
    if (text.size() < std::size_t(MaxNameLength))
        message.push_back(NameEnd);
    return finished(message);
}

Bytes data(std::uint8_t type, const std::uint8_t *bytes, std::size_t length)
{
    Bytes message = head(type);
    message.push_back(Pack7::checksum(bytes, length));
    const std::size_t at = message.size();
    message.resize(at + Pack7::groupsFor(length) * Pack7::GroupBytes);
    Pack7::encode(bytes, length, message.data() + at);
    return finished(message);
}

Bytes status(std::uint8_t type, std::uint8_t status)
{
    Bytes message = head(type);
    message.push_back(status & LowSeven);
    return finished(message);
}

Bytes bare(std::uint8_t type)
{
    return finished(head(type));
}

Bytes transferState(bool on)
{
    return status(SysEx::TransferStateType, on ? 1 : 0);
}

} // namespace DeviceReply
