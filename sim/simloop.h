#pragma once

#include "linkfaults.h"
#include "reply.h"
#include "midiservice.h"
#include "simdevice.h"

#include <QByteArray>
#include <QList>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

// A simulated device on the caller's own thread, for tests, fault campaigns
// and benchmarks. Every message sent through its MIDI service goes to the
// device at once, unless the link faults lose it; the replies pass the link
// faults and wait in one queue, in order, until pump() hands them to the
// receiver one at a time. Nothing runs by itself and time passes only in
// tick(), so a run is repeatable.
//
//     SimLoop loop;
//     loop.receiver = [&](const QByteArray &m) { engine.handleReply(decodeReply(...m...)); };
//     engine.start(image, size);   // an engine whose CommandSink calls loop.send()
//     while (engine.isRunning()) { loop.pump(); loop.tick(); engine.tick(); }
//
// Or through a MIDI service, as a session would: loop.makeService().
class SimLoop
{
public:
    enum class Fate { Deliver, Lose, Hold };
    using Responder = std::function<std::vector<QByteArray>(const QByteArray &command)>;
    // What becomes of the replies to sent message number `index` (from 0).
    using FateRule = std::function<Fate(const QByteArray &command, int index)>;
    using Receiver = std::function<void(const QByteArray &message)>;
    static constexpr int NoLimit = -1;
    static constexpr int DefaultLateTicks = 30;  // past the updater's shortest time-out

    SimLoop();
    ~SimLoop();
    SimLoop(const SimLoop &) = delete;
    SimLoop &operator=(const SimLoop &) = delete;

    // A MIDI service with one port each way that talks to this loop. The
    // loop must outlive it.
    std::unique_ptr<MidiService> makeService();

    SimDevice device;
    LinkFaults faults;            // all rates zero until set
    Responder responder;          // the device, unless a test scripts its own
    FateRule fate;                // unset: every reply goes on the wire
    Receiver receiver;            // unset: the callback the input port was opened with
    int lateTicks = DefaultLateTicks;  // a late reply holds up everything behind it this long
    int refuseFrom = NoLimit;     // the port refuses message number refuseFrom and later
    bool refuseWhenVanished = true;    // once the faults took the port away, sends fail
    bool recordSent = true;
    // False: the ports have left the system's list, as an unplugged
    // interface's do, though sends are still taken.
    bool portsListed = true;

    // Delivers every reply that is due, replies to commands sent meanwhile
    // included; returns how many.
    int pump();
    // One tick of the updater's timer passes for the wire.
    void tick();
    // Replies kept back by Fate::Hold arrive now, ahead of anything queued.
    void releaseHeld();
    // Drops every reply on the wire or held, as a device that lost power.
    void clearWire();
    bool hasQueued() const { return !queue.empty(); }

    const QList<QByteArray> &sent() const { return sentMessages; }
    // For the receiver: how many messages had been sent when the reply it is
    // handed arrived (Reply::sentBefore). Replies on time arrive as their
    // command is answered, late and held ones when they are delivered.
    std::uint32_t arrivalStamp() const { return stamp; }
    int sentCount() const { return sentTotal; }
    int ticks() const { return now; }

    // What the service does with an outgoing message.
    bool send(const std::uint8_t *data, std::size_t length);

private:
    friend class SimLoopService;
    struct Queued
    {
        QByteArray bytes;
        int due = 0;
        std::uint32_t stamp = 0;  // Reply::Unstamped: taken at delivery
    };

    std::deque<Queued> queue;
    std::vector<QByteArray> held;
    QList<QByteArray> sentMessages;
    MidiService::ReceiveCallback portCallback;
    int sentTotal = 0;
    int now = 0;
    std::uint32_t stamp = 0;
};
