#pragma once

#include "devicelink.h"
#include "updateengine.h"

#include <QEventLoop>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <memory>

// One update with no window: a DeviceLink over the given service, an
// UpdateEngine, and this object as the receiver that takes each reply in and
// dispatches it as the window does, tick timer included.
class HeadlessUpdate : public QObject
{
public:
    struct Result
    {
        UpdateOutcome outcome = UpdateOutcome::Cancelled;
        QString message;
        std::chrono::nanoseconds elapsed{};
        int exchanges = 0;  // replies the engine acted on, one per command awaiting one
        int received = 0;   // every message taken in
        int retries = 0;    // restarts of an image block after a lost reply
    };

    explicit HeadlessUpdate(std::unique_ptr<MidiService> service);

    DeviceLink &link() { return deviceLink; }
    bool openPorts(int inIndex, int outIndex) { return deviceLink.openPorts(inIndex, outIndex); }

    // Starts the clock and the update; the replies are up to the caller.
    void start(const QByteArray &image);
    bool isFinished() const { return done; }
    const Result &result() const { return figures; }
    // start(), then the event loop until the update ends.
    Result run(const QByteArray &image);

protected:
    bool event(QEvent *event) override;

private:
    void onFinished(UpdateOutcome outcome, const QString &message);

    DeviceLink deviceLink;
    UpdateEngine engine;
    QTimer tickTimer;
    QEventLoop loop;
    std::chrono::steady_clock::time_point started;
    Result figures;
    int retriesBefore = 0;  // the engine counts over all its updates
    bool done = false;
};
