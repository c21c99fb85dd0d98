#pragma once

#include "commandsink.h"
#include "midiports.h"
#include "reply.h"

#include <QByteArray>
#include <QString>

#include <memory>

// The conversation with one device over its port pair: commands out through
// MidiPorts, received messages decoded into Reply values.
class DeviceLink : public CommandSink
{
public:
    explicit DeviceLink(std::unique_ptr<MidiService> service);

    MidiPorts &ports() { return midiPorts; }
    const MidiPorts &ports() const { return midiPorts; }

    bool send(const SysExMessage &message) override;
    std::uint32_t sentCount() const override { return midiPorts.sentCount(); }
    bool sendIdentify() { return send(buildIdentify()); }

    // The reply intake: decodes one received message, of any length.
    static Reply takeReply(const std::uint8_t *message, std::size_t length);

    // Lower-case hex of a received message, as the trace category shows it.
    static QString hexText(const std::uint8_t *message, std::size_t length);

private:
    MidiPorts midiPorts;
};
