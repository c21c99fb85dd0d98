#pragma once

#include "clioptions.h"
#include "console.h"
#include "discovery.h"
#include "multiupdater.h"
#include "progressline.h"
#include "stopsignals.h"
#include "updatesession.h"

#include <QObject>

#include <memory>

class MidiService;

// The update from the command line, a view of an UpdateSession as the window
// is: picks the ports, waits for the identity (not for ever), asks, writes the
// image with a progress line, and ends the event loop with an ExitCode. With
// --all it hands what it found to a MultiUpdater.
class CliUpdater : public QObject
{
    Q_OBJECT

public:
    static constexpr int IdentifyTimeoutTicks = 3000 / UpdateSession::TickIntervalMs; // a silent device ends the run after 3 s
    static constexpr int ProgressStepPercent = 10;  // off a terminal, one line per step

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
    void fail(const QString &outcome, const QString &message, int code);
    // SIGINT or SIGTERM: a running update is cancelled as the window's Cancel
    // does and ends on its own; anything else ends at once.
    void onStop();
    void quit(int code);

    CliOptions options;
    Console console;
    StopSignals stops;
    bool interrupted = false;
    UpdateSession session;
    Discovery::ServiceFactory makeService;
    std::unique_ptr<Discovery> discovery;
    std::unique_ptr<MultiUpdater> multi;
    bool greeted = false;
    // JSON: every whole percent; a terminal: by time; elsewhere every step.
    ProgressThrottle throttle;
    QString inName;
    QString outName;
};
