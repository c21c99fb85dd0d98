#pragma once

#include <QProcess>
#include <QString>

// A private JACK server on the dummy driver, for the life of this object.
// Clients of this process find it once JACK_DEFAULT_SERVER names it.
class JackServer
{
public:
    // `period` frames at 48 kHz; a round trip costs about two periods.
    JackServer(QString name, int period);
    ~JackServer();
    JackServer(const JackServer &) = delete;
    JackServer &operator=(const JackServer &) = delete;

    // Starts jackd and waits until it runs; false, with the reason, when it does not.
    bool start(QString *error);
    const QString &name() const { return serverName; }
    int period() const { return frames; }
    // Cycles so far that the server reports as late.
    int lateCycles();
    // Of them, those that name the updater's client as not finished.
    int lateCyclesInUpdater();

private:
    bool running() const;

    QProcess process;
    QString serverName;
    int frames;
    int late = 0;
    int lateInUpdater = 0;
};
