#include "devicelink.h"

#include <algorithm>

DeviceLink::DeviceLink(std::unique_ptr<MidiService> service)
    : midiPorts(std::move(service))
{
}

bool DeviceLink::send(const SysExMessage &message)
{
    return midiPorts.sendSysEx(message.data(), message.size());
}

Reply DeviceLink::takeReply(const std::uint8_t *message, std::size_t length)
{
    return decodeReply(message, int(std::min<std::size_t>(length, SysEx::MaxReplyLength)));
}

QString DeviceLink::hexText(const std::uint8_t *message, std::size_t length)
{
    const auto kept = qsizetype(std::min<std::size_t>(length, SysEx::MaxReplyLength));
    return QString::fromLatin1(QByteArray::fromRawData(reinterpret_cast<const char *>(message), kept).toHex());
}
