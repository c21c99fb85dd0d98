#include "headlessupdate.h"

#include "midievent.h"

namespace {

// The window's tick, so a lost reply ends in a retry rather than a hang.
constexpr std::chrono::milliseconds TickInterval{100};

} // namespace

HeadlessUpdate::HeadlessUpdate(std::unique_ptr<MidiService> service)
    : deviceLink(std::move(service)), engine(deviceLink)
{
    deviceLink.setReceiver(this);
    // As the window runs by default: no hex text of every message.
    deviceLink.setTraceEnabled(false);
    connect(&engine, &UpdateEngine::finished, this, &HeadlessUpdate::onFinished);
    connect(&tickTimer, &QTimer::timeout, &engine, &UpdateEngine::tick);
    tickTimer.setInterval(TickInterval);
}

void HeadlessUpdate::start(const QByteArray &image)
{
    figures = Result();
    done = false;
    retriesBefore = engine.retryCount();
    tickTimer.start();
    started = std::chrono::steady_clock::now();
    engine.start(image);
}

HeadlessUpdate::Result HeadlessUpdate::run(const QByteArray &image)
{
    start(image);
    if (!done)
        loop.exec();
    return figures;
}

bool HeadlessUpdate::event(QEvent *e)
{
    if (e->type() != MidiEvent::EventType)
        return QObject::event(e);
    const ReplyCode code = deviceLink.takeReply(*static_cast<MidiEvent *>(e));
    ++figures.received;
    switch (code) {
    case ReplyReadDefectList:
    case ReplyReadChunk:
    case ReplyEraseBlock:
    case ReplyBeginPage:
    case ReplyPageData:
    case ReplyProgramPage:
    case ReplyResetNand:
        if (engine.isRunning())
            ++figures.exchanges;
        engine.handleReply(code);
        break;
    default:
        break;
    }
    return true;
}

void HeadlessUpdate::onFinished(UpdateOutcome outcome, const QString &message)
{
    figures.elapsed = std::chrono::steady_clock::now() - started;
    figures.outcome = outcome;
    figures.message = message;
    figures.retries = engine.retryCount() - retriesBefore;
    done = true;
    tickTimer.stop();
    loop.quit();
}
