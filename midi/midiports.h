#pragma once

#include "midiservice.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QStringList>

#include <atomic>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcMidi)

// The chosen MIDI IN / MIDI OUT pair. Used from the GUI thread only; received
// SysEx messages are posted to the receiver as MidiEvents.
class MidiPorts
{
public:
    // A received message longer than this is handed on cut to this length.
    static constexpr int ReceiveBufferSize = 1024;
    // The port lists show at most this many ports per direction.
    static constexpr int MaxPortsListed = 100;

    explicit MidiPorts(std::unique_ptr<MidiService> service);
    ~MidiPorts();
    MidiPorts(const MidiPorts &) = delete;
    MidiPorts &operator=(const MidiPorts &) = delete;

    std::optional<QString> inPortName(int index) const;
    std::optional<QString> outPortName(int index) const;
    // Names of ports 0, 1, ... in one direction, up to `limit`, ending at the
    // first index that names no port.
    QStringList portNames(bool input, int limit = MaxPortsListed) const;

    // Closes first, then opens input and output; true only when both opened.
    // A half-open pair stays open until the next openPorts() or closePorts().
    bool openPorts(int inIndex, int outIndex);
    void closePorts();
    void setReceiver(QObject *receiver);

    // True when the service accepted the message.
    bool sendSysEx(const std::uint8_t *data, std::size_t length);

    bool closing() const { return closingFlag.load(); }
    bool isInOpen() const;
    bool isOutOpen() const;

    MidiService *service() const { return midiService.get(); }

private:
    void receive(const std::uint8_t *data, std::size_t length);

    std::unique_ptr<MidiService> midiService;
    std::atomic<bool> closingFlag{false};
    std::atomic<QObject *> receiver{nullptr};
};
