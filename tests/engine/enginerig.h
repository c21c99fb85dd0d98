#pragma once

#include "devicelink.h"
#include "simloop.h"
#include "updateengine.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QStringList>

// Drives an UpdateEngine with no window and no port, on a SimLoop: every
// message the engine sends is recorded and handed at once to the responder
// (the simulated device unless a test scripts its own); the replies wait in
// the loop's queue until pump() feeds them to the link and the engine one at
// a time, so a command sent while a reply is handled never recurses.
class EngineRig
{
public:
    using Fate = SimLoop::Fate;
    using Responder = SimLoop::Responder;
    using FateRule = SimLoop::FateRule;

    EngineRig();

    SimLoop loop;
    SimDevice &device;
    DeviceLink link;
    UpdateEngine engine;

    Responder &responder;
    FateRule &fate;
    int &refuseFrom;  // the port refuses message number refuseFrom and later
    // An engine that talks in circles is stopped by a refusing port, not a hang.
    static constexpr int MaxMessages = 100000;

    // What came out.
    const QList<QByteArray> &sent;
    QStringList traces;
    QList<QPair<int, int>> progress;
    QList<int> blocksShown;
    QList<int> pagesShown;
    QList<UpdateOutcome> outcomes;
    QStringList messages;

    // Starts an update and pumps until no reply is left.
    void run(const QByteArray &image);
    // Starts an update and lets ticks pass until it ends; false if it still
    // runs after `maxTicks`.
    bool runToEnd(const QByteArray &image, int maxTicks);
    void pump() { loop.pump(); }
    // Ticks without pumping, so a test can interleave late replies.
    void tick(int count = 1);
    // Feeds one message as if it had just arrived.
    void feed(const QByteArray &reply);
    // Held replies arrive now, ahead of anything queued.
    void releaseHeld() { loop.releaseHeld(); }
    bool hasQueued() const { return loop.hasQueued(); }
};
