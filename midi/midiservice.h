#pragma once

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

// The operating system's MIDI service as MidiPorts needs it: one input and one
// output port, chosen by index, carrying whole SysEx messages.
class MidiService
{
public:
    // Called on the service's own thread with one complete message each time.
    using ReceiveCallback = std::function<void(const std::uint8_t *data, std::size_t length)>;

    virtual ~MidiService() = default;

    // Name of port i in that direction, or nothing when i names no port.
    virtual std::optional<QString> inPortName(int index) const = 0;
    virtual std::optional<QString> outPortName(int index) const = 0;
    // Names of ports 0, 1, ... in one direction, up to `limit`. A service
    // whose every name lookup lists all its ports answers with one listing.
    virtual QStringList portNames(bool input, int limit) const
    {
        QStringList names;
        for (int i = 0; i < limit; ++i) {
            const std::optional<QString> name = input ? inPortName(i) : outPortName(i);
            if (!name)
                break;
            names << *name;
        }
        return names;
    }

    // Each opens one port by index, closing the one open before; false when it failed.
    virtual bool openIn(int index, ReceiveCallback callback) = 0;
    virtual bool openOut(int index) = 0;
    // No callback runs once closeIn() has returned. Both are harmless when closed.
    virtual void closeIn() = 0;
    virtual void closeOut() = 0;
    virtual bool isInOpen() const = 0;
    virtual bool isOutOpen() const = 0;

    // Sends one complete message (0xF0 .. 0xF7); true when the service took it.
    // Must not block the caller for long: it runs on the GUI thread.
    virtual bool send(const std::uint8_t *data, std::size_t length) = 0;
};
