#pragma once

#include "devicebytes.h"
#include "linkfaults.h"
#include "reply.h"
#include "simdevice.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

// A simulated device on the caller's own thread, for tests, fault campaigns
// and benchmarks. Every message sent through its MIDI service goes to the
// device at once, unless the link faults lose it; the replies pass the link
// faults and wait in one queue, in order, until pump() hands them to the
// receiver one at a time. Nothing runs by itself and time passes only in
// tick(), so a run is repeatable.
//
//     SimLoop loop;
//     loop.receiver = [&](const Bytes &m) { engine.handleReply(decodeReply(...m...)); };
//     engine.start(image, size);   // an engine whose CommandSink calls loop.send()
//     while (engine.isRunning()) { loop.pump(); loop.tick(); engine.tick(); }
//
// Or through a MIDI service, as a session would: makeSimLoopService(loop)
// (sim/simloopservice.h), which attaches its input port here.
class SimLoop
{
public:
    enum class Fate { Deliver, Lose, Hold };
    using Responder = std::function<std::vector<Bytes>(const Bytes &command)>;
    // What becomes of the replies to sent message number `index` (from 0).
    using FateRule = std::function<Fate(const Bytes &command, int index)>;
    using Receiver = std::function<void(const Bytes &message)>;
    using PortCallback = std::function<void(const std::uint8_t *data, std::size_t length)>;
    static constexpr int NoLimit = -1;
    static constexpr int DefaultLateTicks = 30;  // past the updater's shortest time-out

    SimLoop();
    ~SimLoop();
    SimLoop(const SimLoop &) = delete;
    SimLoop &operator=(const SimLoop &) = delete;

    SimDevice device;
    LinkFaults faults;            // all rates zero until set
    Responder responder;          // the device, unless a test scripts its own
    FateRule fate;                // unset: every reply goes on the wire
    Receiver receiver;            // unset: the callback of the attached input port
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

    const std::vector<Bytes> &sent() const { return sentMessages; }
    // For the receiver: how many messages had been sent when the reply it is
    // handed arrived (Reply::sentBefore). Replies on time arrive as their
    // command is answered, late and held ones when they are delivered.
    std::uint32_t arrivalStamp() const { return stamp; }
    int sentCount() const { return sentTotal; }
    int ticks() const { return now; }

    // What the service does with an outgoing message.
    bool send(const std::uint8_t *data, std::size_t length);
    // The input port of a MIDI service on this loop: replies go there when no
    // receiver is set. An empty callback detaches it.
    void attachPort(PortCallback callback) { portCallback = std::move(callback); }

private:
    struct Queued
    {
        Bytes bytes;
        int due = 0;
        std::uint32_t stamp = 0;  // Reply::Unstamped: taken at delivery
    };

    std::deque<Queued> queue;
    std::vector<Bytes> held;
    std::vector<Bytes> sentMessages;
    PortCallback portCallback;
    int sentTotal = 0;
    int now = 0;
    std::uint32_t stamp = 0;
};
