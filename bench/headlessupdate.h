#pragma once

#include "updatesession.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <memory>

// One update with no window: an UpdateSession over the given service, its
// tick, and an event loop that the session's finished() ends. The session is
// the receiver of every reply, as it is for the command line.
class HeadlessUpdate
{
public:
    struct Result
    {
        UpdateOutcome outcome = UpdateOutcome::Cancelled;
        QString message;
        std::chrono::nanoseconds elapsed{};
        int exchanges = 0;  // replies the engine acted on, one per command awaiting one
    };

    explicit HeadlessUpdate(std::unique_ptr<MidiService> service);

    UpdateSession &session() { return updateSession; }
    // Opens the pair without greeting the device: the figures are the update's alone.
    bool openPorts(int inIndex, int outIndex);

    // Starts the clock and the update of the image in `imagePath`; the
    // replies are up to the caller.
    void start(const QString &imagePath);
    bool isFinished() const { return done; }
    const Result &result() const { return figures; }
    // start(), then the event loop until the update ends.
    Result run(const QString &imagePath);

private:
    void onFinished(UpdateOutcome outcome, const QString &message);

    UpdateSession updateSession;
    QTimer tickTimer;
    QEventLoop loop;
    std::chrono::steady_clock::time_point started;
    UpdateSession::Counters countersBefore;  // the session counts over all its updates
    Result figures;
    bool done = false;
};
