#pragma once

#include "devicelink.h"
#include "simdevice.h"
#include "updateengine.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>

#include <deque>
#include <functional>
#include <vector>

// Drives an UpdateEngine with no window and no port. Every message the engine
// sends is recorded and handed at once to a responder (the simulated device
// unless a test scripts its own); the replies wait in a queue until pump()
// feeds them to the link and the engine one at a time, so a command sent while
// a reply is handled never recurses into the device.
class EngineRig
{
public:
    enum class Fate { Deliver, Lose, Hold };
    using Responder = std::function<std::vector<QByteArray>(const QByteArray &command)>;
    // What becomes of the replies to sent message number `index` (from 0).
    using FateRule = std::function<Fate(const QByteArray &command, int index)>;

    EngineRig();

    SimDevice device;
    DeviceLink link;
    UpdateEngine engine;

    Responder responder;
    FateRule fate;
    int refuseFrom = -1; // the port refuses message number refuseFrom and later; -1 never
    // An engine that talks in circles is stopped by a refusing port, not a hang.
    static constexpr int MaxMessages = 100000;

    // What came out.
    QList<QByteArray> sent;
    QStringList traces;
    QList<QPair<int, int>> progress;
    QList<int> blocksShown;
    QList<int> pagesShown;
    QList<UpdateOutcome> outcomes;
    QStringList messages;

    // Starts an update and pumps until no reply is left.
    void run(const QByteArray &image);
    void pump();
    // Ticks without pumping, so a test can interleave late replies.
    void tick(int count = 1);
    // Feeds one message as if it had just arrived.
    void feed(const QByteArray &reply);
    // Held replies arrive now, ahead of anything queued.
    void releaseHeld();
    bool hasQueued() const { return !queue.empty(); }

    bool onSend(const std::uint8_t *data, std::size_t length);

private:
    std::deque<QByteArray> queue;
    std::vector<QByteArray> held;
};
