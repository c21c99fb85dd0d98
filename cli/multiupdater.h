#pragma once

#include "clioptions.h"
#include "discovery.h"
#include "progressline.h"
#include "updatesession.h"

#include <QObject>

#include <memory>
#include <vector>

class Console;

// --all: every Qel found updated at the same time, each by a session of its
// own on a MIDI service of its own, so that they share nothing. One progress
// line per device while they run, a table of how each ended at the end.
class MultiUpdater : public QObject
{
    Q_OBJECT

public:
    struct Result
    {
        FoundDevice device;
        QString outcome;  // as JsonEvents names it; empty while running
        QString message;
    };

    MultiUpdater(const CliOptions &options, Console &console, Discovery::ServiceFactory makeService,
                 QObject *parent = nullptr);
    ~MultiUpdater() override;

    void start(const QList<FoundDevice> &devices);
    // As the window's Cancel, for every Qel still at it; those not yet
    // writing end at once.
    void cancel();
    std::vector<Result> results() const;

signals:
    // After the last device ended: ExitSuccess only when every one was written.
    void finished(int exitCode);

private:
    struct Run;

    void onIdentified(Run &run);
    void onProgress(Run &run, const UpdateSession::Progress &progress);
    void end(Run &run, const QString &outcome, const QString &message);
    void draw(Run *changed);
    QString line(const Run &run) const;
    void summarize();

    CliOptions options;
    Console &console;
    Discovery::ServiceFactory makeService;
    std::vector<std::unique_ptr<Run>> runs;
    ProgressThrottle screenThrottle;  // the redrawn block, on a terminal
};
