#pragma once

#include "clioptions.h"
#include "console.h"
#include "discovery.h"
#include "updatesession.h"

#include <QElapsedTimer>
#include <QObject>

#include <memory>

class MidiService;

// The update from the command line, a view of an UpdateSession as the window
// is: picks the ports, waits for the identity (not for ever), asks, writes the
// image with a progress line, and ends the event loop with an ExitCode.
class CliUpdater : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdentifyTimeoutTicks = 3000 / UpdateSession::TickIntervalMs; // a silent device ends the run after 3 s
    static constexpr int ProgressIntervalMs = 200;  // terminal redraws at most this often
    static constexpr int ProgressStepPercent = 10;  // elsewhere one line per step

    // With `probes`, the Qel is found by asking on every port pair when no port is named.
    CliUpdater(CliOptions options, std::unique_ptr<MidiService> service, Discovery::ServiceFactory probes = {},
               QObject *parent = nullptr);

    // Runs from the event loop; ends it through QCoreApplication::exit().
    void start();

private:
    void listPorts();
    void pickByName();
    void onFound(const QList<FoundDevice> &devices);
    void connectTo(int in, int out, const QString &inName, const QString &outName);
    void onIdentified();
    void startUpdate();
    void onProgress(const UpdateSession::Progress &progress);
    void onFinished(UpdateOutcome outcome, const QString &message);
    void quit(int code);

    CliOptions options;
    Console console;
    UpdateSession session;
    std::unique_ptr<Discovery> discovery;
    bool greeted = false;
    QElapsedTimer drawClock;
    qint64 lastDrawMs = -ProgressIntervalMs;
    int lastStep = -1;
};
