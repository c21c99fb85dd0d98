#include "devicelink.h"

#include "midievent.h"

DeviceLink::DeviceLink(std::unique_ptr<MidiService> service)
    : midiPorts(std::move(service))
{
}

bool DeviceLink::send(const SysExMessage &message)
{
    return midiPorts.sendSysEx(message.data(), message.size());
}

Reply DeviceLink::takeReply(const MidiEvent &event) const
{
    return takeReply(event.message);
}

Reply DeviceLink::takeReply(const QByteArray &message) const
{
    return decodeReply(reinterpret_cast<const std::uint8_t *>(message.constData()),
                       static_cast<int>(std::min<qsizetype>(message.size(), SysEx::MaxReplyLength)));
}

QString DeviceLink::hexText(const QByteArray &message)
{
    return QString::fromLatin1(message.left(SysEx::MaxReplyLength).toHex());
}
