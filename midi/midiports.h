#pragma once

#include "midiservice.h"
#include "receivequeue.h"

#include <QLoggingCategory>
#include <QMetaObject>
#include <QStringList>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

class QAbstractEventDispatcher;

Q_DECLARE_LOGGING_CATEGORY(lcMidi)

// The chosen MIDI IN / MIDI OUT pair, used from the thread that made it (the
// GUI thread). Received SysEx messages wait in a ReceiveQueue; the thread's
// event loop is woken and hands them to the receiver, in order, on this thread.
class MidiPorts
{
public:
    // Called with each received message; `data` is valid during the call only.
    using Receiver = std::function<void(const std::uint8_t *data, std::size_t length)>;

    // A received message longer than this is handed on cut to this length.
    static constexpr int ReceiveBufferSize = int(ReceiveQueue::SlotSize);
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
    void setReceiver(Receiver receiver);
    // Hands every waiting message to the receiver now; the event loop does
    // so by itself. Returns how many there were.
    int takeWaiting();
    // Messages dropped because the receiver fell that far behind.
    std::uint64_t droppedMessages() const { return queue.dropped(); }

    // True when the service accepted the message.
    bool sendSysEx(const std::uint8_t *data, std::size_t length);

    bool closing() const { return closingFlag.load(); }
    bool isInOpen() const;
    bool isOutOpen() const;

    MidiService *service() const { return midiService.get(); }
    // Messages handed to the service so far.
    std::uint32_t sentCount() const { return sent.load(std::memory_order_relaxed); }
    // During a receiver call: how many messages had been sent when the
    // message it is handed arrived. Replies carry no sequence number, and an
    // answer cannot arrive before its command went out. UINT32_MAX outside a call.
    std::uint32_t arrivalStamp() const { return handing; }

private:
    void receive(const std::uint8_t *data, std::size_t length);

    std::unique_ptr<MidiService> midiService;
    std::atomic<bool> closingFlag{false};
    std::atomic<std::uint32_t> sent{0};
    std::uint32_t handing = UINT32_MAX;
    ReceiveQueue queue;
    // Set by the MIDI thread when it wakes the event loop, cleared before the
    // queue is emptied: one wake-up for any number of messages.
    std::atomic<bool> wakePending{false};
    QAbstractEventDispatcher *dispatcher = nullptr;
    QMetaObject::Connection awakeConnection;
    Receiver receiver;
};
