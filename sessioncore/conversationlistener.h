#pragma once

#include "enginelistener.h"
#include "etaestimator.h"
#include "phrase.h"

#include <cstdint>

// What a conversation reports. Called from within its calls, never later.
class ConversationListener
{
public:
    enum class Connection { Disconnected = 0, Connecting = 1, Connected = 2 };

    struct Progress
    {
        int pagesDone = 0;
        int pagesTotal = 0;
        // As the NAND fields show them; -1 before the first.
        int block = -1;
        int page = -1;
        std::int64_t remainingMs = EtaEstimator::Unknown;
    };

    virtual ~ConversationListener() = default;
    virtual void connectionChanged(Connection state) = 0;
    // The identity fields changed.
    virtual void identified() = 0;
    virtual void identifyTimedOut() = 0;
    // The reads after Connect were timed (or gave up).
    virtual void measured() = 0;
    // verdict() may say something else now.
    virtual void verdictChanged() = 0;
    // The device's report that it started (true) or ended (false) a transfer;
    // a start is passed on only while an update runs.
    virtual void transferStateChanged(bool on) = 0;
    // At most once per showing (a tick, or every few) while an update runs.
    virtual void progressChanged(const Progress &progress) = 0;
    // Trace lines are kept only for a listener that wants them.
    virtual bool wantsTraces() const { return true; }
    virtual void traced(const TraceLine &line) = 0;
    // Once per update started; a success once the device has said which
    // firmware it runs, the message then the same as verdict().
    virtual void finished(UpdateOutcome outcome, const Phrase &message) = 0;
};
