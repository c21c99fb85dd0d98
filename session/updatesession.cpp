#include "updatesession.h"

#include "firmwareimage.h"
#include "midievent.h"
#include "resourcepaths.h"
#include "sessiontexts.h"
#include "texts.h"
#include "updateduration.h"

#include <QFileInfo>
#include <QMetaMethod>

// Every received message as hex; off unless QT_LOGGING_RULES="qel.trace.debug=true".
Q_LOGGING_CATEGORY(lcTrace, "qel.trace", QtWarningMsg)

UpdateSession::UpdateSession(std::unique_ptr<MidiService> service, QObject *parent)
    : QObject(parent), link(std::move(service)), imageFile(ResourcePaths::FirmwareImage)
{
    link.ports().setReceiver(this);
    connect(&ticker, &QTimer::timeout, this, &UpdateSession::tick);
}

UpdateSession::~UpdateSession()
{
    // No callback may post to a receiver that is going away.
    link.ports().closePorts();
}

QStringList UpdateSession::portNames(bool input) const
{
    return link.ports().portNames(input);
}

bool UpdateSession::connectDevice(int inIndex, int outIndex)
{
    if (!link.ports().openPorts(inIndex, outIndex)) {
        link.ports().closePorts();
        setState(Disconnected);
        return false;
    }
    setState(Connecting);
    identifyCountdown = identifyTimeoutTicks;
    identifyClock.start();
    link.sendIdentify();
    return true;
}

void UpdateSession::disconnectDevice()
{
    engine.cancel();
    link.ports().closePorts();
    serial.clear();
    version = 0;
    identifyCountdown = 0;
    setState(Disconnected);
}

void UpdateSession::setReceiver(QObject *receiver)
{
    link.ports().setReceiver(receiver);
}

void UpdateSession::setState(ConnectionState next)
{
    if (state == next)
        return;
    state = next;
    emit connectionChanged(state);
}

bool UpdateSession::event(QEvent *e)
{
    if (e->type() != MidiEvent::EventType)
        return QObject::event(e);
    takeEvent(*static_cast<MidiEvent *>(e));
    return true;
}

void UpdateSession::takeEvent(const MidiEvent &event)
{
    const Reply reply = link.takeReply(event);
    ++count.received;
    if (lcTrace().isDebugEnabled())
        qCDebug(lcTrace).noquote() << Texts::tr("e=%1 %2").arg(int(reply.code)).arg(DeviceLink::hexText(event.message));
    takeReply(reply);
}

void UpdateSession::takeReply(const Reply &reply)
{
    switch (reply.code) {
    case ReplyIdentify:
        takeIdentity(reply);
        break;
    case ReplyTransferOff:
        // It also closes an update's Finish.
        engine.handleReply(reply);
        emit transferStateChanged(false);
        break;
    case ReplyTransferOn:
        // After a cancel the device's late report must not lock the controls:
        // its transfer-off report will never come.
        if (engine.isRunning())
            emit transferStateChanged(true);
        break;
    case ReplyReadDefectList:
    case ReplyReadChunk:
    case ReplyEraseBlock:
    case ReplyBeginPage:
    case ReplyPageData:
    case ReplyProgramPage:
    case ReplyResetNand:
        if (engine.isRunning())
            ++count.exchanges;
        engine.handleReply(reply);
        break;
    default:
        break;
    }
}

void UpdateSession::takeIdentity(const Reply &reply)
{
    if (state == Disconnected)
        return;
    serial = QString::fromStdString(formatSerial(reply.serialNumber));
    version = reply.firmwareVersion;
    if (state == Connecting) {
        roundTrip = identifyClock.nsecsElapsed() / 1000;
        identifyCountdown = 0;
        setState(Connected);
    }
    emit identified();
}

void UpdateSession::tick()
{
    engine.tick();
    if (identifyCountdown > 0 && --identifyCountdown == 0 && state == Connecting)
        emit identifyTimedOut();
}

void UpdateSession::startTicking()
{
    ticker.start(TickIntervalMs);
}

qint64 UpdateSession::expectedDurationMs() const
{
    return UpdateDuration::expectedMs(roundTrip, QFileInfo(imageFile).size(), verifyAfterWriting);
}

QString UpdateSession::confirmationText() const
{
    return UpdateDuration::confirmation(version, expectedDurationMs());
}

void UpdateSession::startUpdate()
{
    const FirmwareImage image = FirmwareImage::load(imageFile);
    if (!image.problem.isEmpty()) {
        emit finished(UpdateOutcome::NoImage, image.problem);
        return;
    }
    shown = Progress();
    eta.reset();
    updateClock.start();
    engine.start(reinterpret_cast<const std::uint8_t *>(image.bytes.constData()), std::size_t(image.bytes.size()),
                 verifyAfterWriting);
}

void UpdateSession::cancelUpdate()
{
    engine.cancel();
}

void UpdateSession::Listener::traced(const TraceLine &line)
{
    // Words cost an allocation per line; nobody listening needs none.
    static const QMetaMethod tracedSignal = QMetaMethod::fromSignal(&UpdateSession::traced);
    if (session.isSignalConnected(tracedSignal))
        emit session.traced(SessionTexts::traceLine(line));
}

void UpdateSession::Listener::blockShown(int block)
{
    session.shown.block = block;
    emit session.progressChanged(session.shown);
}

void UpdateSession::Listener::pageShown(int page)
{
    session.shown.page = page;
    emit session.progressChanged(session.shown);
}

void UpdateSession::Listener::progressChanged(int pagesDone, int pagesTotal)
{
    Progress &shown = session.shown;
    session.eta.addSample(session.updateClock.elapsed(), pagesDone, pagesTotal);
    shown.pagesDone = pagesDone;
    shown.pagesTotal = pagesTotal;
    shown.remainingMs = session.eta.remainingMs();
    emit session.progressChanged(shown);
}

void UpdateSession::Listener::finished(const Ending &ending)
{
    const QString message = SessionTexts::outcomeMessage(ending);
    // Ask again, so that the identity shows the firmware the device runs now.
    if (ending.outcome == UpdateOutcome::Success && session.state != Disconnected)
        session.link.sendIdentify();
    emit session.finished(ending.outcome, message);
}
