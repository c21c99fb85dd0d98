#pragma once

#include <QByteArray>
#include <QProcess>
#include <QString>

// A JACK server of this process's own (dummy driver, private name), so that
// tests and benchmarks run over a real MIDI stack without sound hardware and
// without meeting each other. privatejack.sh beside this file starts it; this
// class gives the process a private /dev/shm first, as the script does for
// shell scripts, so that the process's own JACK clients see the server.
class PrivateJackServer
{
public:
    static constexpr int StartMs = 5000;

    // Named `stem`-PID. The default period is long (43 ms): on a busy machine
    // short ones miss cycles, and JACK drops the MIDI events of a missed cycle.
    // `realtime`: real-time scheduling where the machine grants it.
    explicit PrivateJackServer(const QString &stem, int period = 2048, bool realtime = false);
    ~PrivateJackServer();
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    // CI must see every JACK test run: a skip there would pass unseen.
    static bool mustRun();
    // Whether this process has a /dev/shm of its own. It is made when the
    // program is loaded, before any thread exists; a program that uses no
    // other part of this class calls this to be linked with it.
    static bool isolate();

    // Starts the server and points this process's JACK clients (and the
    // programs it starts) at it. Call it on the thread that will open the JACK
    // clients, before any exists. Returns why it could not, or an empty text.
    // A QTemporaryFile opened earlier must have been asked its name before:
    // Qt names it on demand, which the new mount namespace makes fail.
    QString start();
    void stop();

    const QString &name() const { return serverName; }
    int period() const { return framesPerPeriod; }
    // What the server has said since the last call (late cycles among it).
    QByteArray takeOutput();

private:
    QString serverName;
    int framesPerPeriod;
    bool realtime;
    QProcess server;
};
