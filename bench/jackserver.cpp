#include "jackserver.h"

#include <QDeadlineTimer>

namespace {

constexpr int StartMs = 5000;
constexpr int SampleRate = 48000;

} // namespace

JackServer::JackServer(QString name, int period)
    : serverName(std::move(name)), frames(period)
{
}

JackServer::~JackServer()
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(StartMs))
        process.kill();
    process.waitForFinished();
}

bool JackServer::start(QString *error)
{
    // Real-time scheduling where the machine grants it: jackd only warns where
    // not. Its chatter is kept, to be counted, not shown.
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("jackd"),
                  {QStringLiteral("-n"), serverName, QStringLiteral("-d"), QStringLiteral("dummy"),
                   QStringLiteral("-r"), QString::number(SampleRate), QStringLiteral("-p"),
                   QString::number(frames)});
    if (!process.waitForStarted(StartMs)) {
        *error = QStringLiteral("jackd does not start: %1").arg(process.errorString());
        return false;
    }
    // jack_wait -w checks only once a second; each probe is a process start,
    // which paces the polling well enough.
    const QDeadlineTimer deadline(StartMs);
    while (!running()) {
        if (deadline.hasExpired() || process.state() != QProcess::Running) {
            *error = QStringLiteral("the JACK server %1 did not come up").arg(serverName);
            return false;
        }
    }
    return true;
}

int JackServer::lateCycles()
{
    while (process.canReadLine()) {
        const QByteArray line = process.readLine();
        if (!line.contains("XRun"))
            continue;
        ++late;
        // "client = Qel update was not finished": the cycle ended with our client still at work.
        if (line.contains("Qel update"))
            ++lateInUpdater;
    }
    return late;
}

int JackServer::lateCyclesInUpdater()
{
    lateCycles();
    return lateInUpdater;
}

bool JackServer::running() const
{
    QProcess probe;
    probe.start(QStringLiteral("jack_wait"), {QStringLiteral("-s"), serverName, QStringLiteral("-c")});
    return probe.waitForFinished(StartMs) && probe.readAllStandardOutput().trimmed() == "running";
}
