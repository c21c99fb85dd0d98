#include "headlessupdate.h"

HeadlessUpdate::HeadlessUpdate(std::unique_ptr<MidiService> service)
    : updateSession(std::move(service))
{
    QObject::connect(&updateSession, &UpdateSession::finished, &updateSession,
                     [this](UpdateOutcome outcome, const QString &message) { onFinished(outcome, message); });
    // A tick of its own rather than startTicking(), so that nothing ticks between runs.
    QObject::connect(&tickTimer, &QTimer::timeout, &updateSession, &UpdateSession::tick);
    tickTimer.setInterval(UpdateSession::TickIntervalMs);
}

bool HeadlessUpdate::openPorts(int inIndex, int outIndex)
{
    return updateSession.deviceLink().ports().openPorts(inIndex, outIndex);
}

void HeadlessUpdate::start(const QString &imagePath)
{
    figures = Result();
    done = false;
    countersBefore = updateSession.counters();
    updateSession.setImagePath(imagePath);
    tickTimer.start();
    started = std::chrono::steady_clock::now();
    updateSession.startUpdate();
}

HeadlessUpdate::Result HeadlessUpdate::run(const QString &imagePath)
{
    start(imagePath);
    if (!done)
        loop.exec();
    return figures;
}

void HeadlessUpdate::onFinished(UpdateOutcome outcome, const QString &message)
{
    figures.elapsed = std::chrono::steady_clock::now() - started;
    figures.outcome = outcome;
    figures.message = message;
    const UpdateSession::Counters &now = updateSession.counters();
    figures.exchanges = now.exchanges - countersBefore.exchanges;
    done = true;
    tickTimer.stop();
    loop.quit();
}
