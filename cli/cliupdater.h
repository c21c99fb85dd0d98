#pragma once

#include "clioptions.h"
#include "console.h"
#include "devicelink.h"
#include "etaestimator.h"
#include "replypump.h"
#include "updateengine.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>

class MidiService;

// The update from the command line, on the same engine as the window: picks
// the ports, waits for the identity (not for ever), asks, writes the image
// with a progress line, and ends the event loop with an ExitCode.
class CliUpdater : public QObject
{
    Q_OBJECT

public:
    static constexpr int TickInterval = 100;        // ms, as the window's
    static constexpr int IdentifyTimeoutTicks = 30; // a silent device ends the run after 3 s
    static constexpr int ProgressIntervalMs = 200;  // terminal redraws at most this often
    static constexpr int ProgressStepPercent = 10;  // elsewhere one line per step

    CliUpdater(CliOptions options, std::unique_ptr<MidiService> service, QObject *parent = nullptr);
    ~CliUpdater() override;

    // Runs from the event loop; ends it through QCoreApplication::exit().
    void start();

private:
    void listPorts();
    void onReply(ReplyCode code);
    void onTick();
    void onIdentified();
    void startUpdate();
    void onProgress(int done, int total);
    void onFinished(UpdateOutcome outcome, const QString &message);
    void quit(int code);

    CliOptions options;
    Console console;
    DeviceLink link;
    UpdateEngine engine;
    ReplyPump pump;
    QTimer ticker;
    int identifyCountdown = 0;
    QElapsedTimer identifyClock;
    qint64 roundTripUs = 0;
    QElapsedTimer updateClock;
    qint64 lastDrawMs = -ProgressIntervalMs;
    int lastStep = -1;
    EtaEstimator eta;
    // Block and page as the window's NAND fields would show them; -1 before the first.
    int shownBlock = -1;
    int shownPage = -1;
};
