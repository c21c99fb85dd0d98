#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QThread>

// A JACK server of the test's own (dummy driver, private name), so tests run
// over a real MIDI stack without sound hardware and without meeting each other.
class PrivateJackServer
{
public:
    static constexpr int StartMs = 5000;

    // The default period is long (43 ms): on a busy machine short ones miss
    // cycles, and JACK drops the MIDI events of a missed cycle.
    explicit PrivateJackServer(const QString &stem, int period = 2048)
        : serverName(QStringLiteral("%1-%2").arg(stem).arg(QCoreApplication::applicationPid())), framesPerPeriod(period)
    {
    }
    ~PrivateJackServer() { stop(); }
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    // Starts the server and points this process's JACK clients at it. Returns
    // why it could not, or an empty text when it runs.
    QString start()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("jack_wait")).isEmpty())
            return QStringLiteral("jackd or jack_wait is not installed");
        // Before any JACK client exists in this process.
        qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(QStringLiteral("jackd"), {QStringLiteral("--no-realtime"), QStringLiteral("-n"), serverName,
                                               QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                                               QStringLiteral("48000"), QStringLiteral("-p"), QString::number(framesPerPeriod)});
        const auto running = [this] {
            QProcess probe;
            probe.start(QStringLiteral("jack_wait"), {QStringLiteral("-s"), serverName, QStringLiteral("-c")});
            return probe.waitForFinished(StartMs) && probe.readAllStandardOutput().trimmed() == "running";
        };
        // Each probe is a process start, which paces the polling.
        const QDeadlineTimer deadline(StartMs);
        while (server.state() != QProcess::NotRunning && !running() && !deadline.hasExpired())
            QThread::msleep(10);
        if (server.state() != QProcess::NotRunning && running())
            return {};
        const QString output = QString::fromLocal8Bit(server.readAll());
        stop();
        return QStringLiteral("JACK did not start: ") + output;
    }

    void stop()
    {
        if (server.state() == QProcess::NotRunning)
            return;
        server.terminate();
        if (!server.waitForFinished(StartMs))
            server.kill();
        server.waitForFinished();
    }

private:
    QString serverName;
    int framesPerPeriod;
    QProcess server;
};
