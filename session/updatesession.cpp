#include "updatesession.h"

#include "firmwareimage.h"
#include "firmwareversion.h"
#include "resourcepaths.h"
#include "sessiontexts.h"
#include "texts.h"
#include "updateduration.h"

#include <QFileInfo>
#include <QMetaMethod>

#include <algorithm>

// Every received message as hex; off unless QT_LOGGING_RULES="qel.trace.debug=true".
Q_LOGGING_CATEGORY(lcTrace, "qel.trace", QtWarningMsg)

UpdateSession::UpdateSession(std::unique_ptr<MidiService> service, QObject *parent)
    : QObject(parent), link(std::move(service)), imageFile(ResourcePaths::FirmwareImage)
{
    link.ports().setReceiver([this](const std::uint8_t *data, std::size_t length) { takeMessage(data, length); });
    pendingTraces.reserve(256);
    monotonic.start();
    clock = [this] { return monotonic.nsecsElapsed() / 1000; };
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
    openNames = {link.ports().portNames(true).value(inIndex), link.ports().portNames(false).value(outIndex)};
    setState(Connecting);
    identifyCountdown = identifyTimeoutTicks;
    identifyAsked = 0;
    askIdentity();
    return true;
}

void UpdateSession::askIdentity()
{
    ++identifyAsked;
    identifyAgainCountdown = IdentifyAgainTicks;
    identifySentUs = clock();
    link.sendIdentify();
}

void UpdateSession::disconnectDevice()
{
    // A written image is reported even when nobody waits for the device's answer.
    if (after == AfterUpdate::Asking)
        endAfterUpdate(AfterUpdate::NotRunning);
    engine.cancel();
    link.ports().closePorts();
    openNames = {};
    serial.clear();
    version = 0;
    identifyCountdown = 0;
    identifyAsked = 0;
    dataTrip = 0;
    probe = Probe();
    after = AfterUpdate::NotAsked;
    afterCountdown = 0;
    setState(Disconnected);
}

void UpdateSession::setState(ConnectionState next)
{
    if (state == next)
        return;
    state = next;
    emit connectionChanged(state);
}

void UpdateSession::takeMessage(const std::uint8_t *data, std::size_t length)
{
    Reply reply = link.takeReply(data, length);
    reply.sentBefore = link.ports().arrivalStamp();
    ++count.received;
    if (lcTrace().isDebugEnabled())
        qCDebug(lcTrace).noquote() << Texts::tr("e=%1 %2").arg(int(reply.code)).arg(DeviceLink::hexText(data, length));
    takeReply(reply);
}

void UpdateSession::takeReply(const Reply &reply)
{
    switch (reply.code) {
    case ReplyIdentify:
        takeIdentity(reply);
        if (probe.fencing)
            takeFenceAnswer();
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
    case ReplyReadChunk:
        if (takeProbeAnswer())
            break;
        [[fallthrough]];
    case ReplyReadDefectList:
    case ReplyEraseBlock:
    case ReplyBeginPage:
    case ReplyPageData:
    case ReplyProgramPage:
    case ReplyResetNand:
        if (reply.code == ReplyResetNand)
            probe.owed = 0;  // the answers to the timed reads came before it
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
    const bool afterUpdate = after == AfterUpdate::Asking;
    if (state == Connecting) {
        roundTrip = clock() - identifySentUs;
        identifyCountdown = 0;
        setState(Connected);
        if (!engine.isRunning()) {
            probe = Probe();
            probe.active = true;
            sendProbe();
        }
    }
    emit identified();
    if (afterUpdate) {
        const bool running = FirmwareVersion::compareWithCarried(version) == FirmwareVersion::Order::Same;
        endAfterUpdate(running ? AfterUpdate::Running : AfterUpdate::NotRunning);
    } else {
        emit verdictChanged();
    }
}

void UpdateSession::endAfterUpdate(AfterUpdate result)
{
    after = result;
    emit verdictChanged();
    // Worded from what the device said, so that every view says the same.
    emit finished(UpdateOutcome::Success, verdict());
}

// Block 0 is read by every update anyway, and its answers are as long as the
// data exchanges of one, so their round trip tells how long an update takes.
void UpdateSession::sendProbe()
{
    probe.countdown = ProbeTimeoutTicks;
    probe.sentAtUs = clock();
    if (!link.send(buildReadChunk(0, 0))) {
        endProbe();
        return;
    }
    ++probe.owed;
}

void UpdateSession::probeTimedOut()
{
    if (probe.asksAgain == ProbeAsksAgain) {
        endProbe();
        return;
    }
    ++probe.asksAgain;
    probe.fencing = true;
    probe.countdown = ProbeTimeoutTicks;
    if (!link.sendIdentify())
        endProbe();
}

bool UpdateSession::takeProbeAnswer()
{
    if (probe.owed == 0)
        return false;
    --probe.owed;
    if (!probe.active || probe.fencing)
        return true;  // late, or one an update started after
    probe.tripsUs.push_back(clock() - probe.sentAtUs);
    if (int(probe.tripsUs.size()) < ProbeReads)
        sendProbe();
    else
        endProbe();
    return true;
}

void UpdateSession::takeFenceAnswer()
{
    // Every read's answer that was coming has come.
    probe.fencing = false;
    probe.owed = 0;
    if (probe.active)
        sendProbe();
}

void UpdateSession::endProbe()
{
    probe.active = false;
    std::vector<qint64> &trips = probe.tripsUs;
    if (!trips.empty()) {
        std::nth_element(trips.begin(), trips.begin() + trips.size() / 2, trips.end());
        dataTrip = trips[trips.size() / 2];
    }
    emit measured();
}

QString UpdateSession::verdict() const
{
    const QString carried = FirmwareVersion::text(FirmwareVersion::carried());
    switch (after) {
    case AfterUpdate::Asking:
        return SessionTexts::outcomeMessage(Ending{});
    case AfterUpdate::NotRunning:
        return Texts::tr("The firmware %1 was written. The Qel starts it after it is switched off and on.")
            .arg(carried);
    case AfterUpdate::Running:
        return Texts::tr("The update is complete: the device now carries firmware %1.")
            .arg(FirmwareVersion::text(version));
    case AfterUpdate::NotAsked:
        break;
    }
    return FirmwareVersion::verdict(version);
}

void UpdateSession::tick()
{
    // Nothing waits longer than a tick should a wake-up of the loop go astray.
    link.ports().takeWaiting();
    // Dropped on the MIDI thread, where nothing may be logged.
    if (const std::uint64_t dropped = link.ports().droppedMessages(); dropped != droppedSeen) {
        qCWarning(lcTrace) << dropped - droppedSeen << "received messages were dropped: the updater fell behind";
        droppedSeen = dropped;
    }
    engine.tick();
    // An unplugged interface often takes no message amiss; its ports leave the
    // list. Ports opened without connectDevice() (benchmarks) have no names to look for.
    if (engine.isRunning() && !openNames.first.isEmpty() && ++portCheckTicks >= PortCheckTicks) {
        portCheckTicks = 0;
        if (!link.ports().portNames(true).contains(openNames.first)
            || !link.ports().portNames(false).contains(openNames.second))
            engine.portGone();
    }
    if (identifyCountdown > 0 && --identifyCountdown == 0 && state == Connecting)
        emit identifyTimedOut();
    if (state == Connecting && identifyAsked < IdentifyAsks && --identifyAgainCountdown == 0)
        askIdentity();
    if (probe.active && --probe.countdown == 0)
        probeTimedOut();
    if (after == AfterUpdate::Asking && --afterCountdown == 0)
        endAfterUpdate(AfterUpdate::NotRunning);
    if (++viewCountdown >= viewTicks) {
        viewCountdown = 0;
        showPending();
    }
}

void UpdateSession::showPending()
{
    for (const TraceLine &line : pendingTraces)
        emit traced(SessionTexts::traceLine(line));
    pendingTraces.clear();
    if (progressPending) {
        progressPending = false;
        emit progressChanged(shown);
    }
}

void UpdateSession::startTicking()
{
    ticker.start(TickIntervalMs);
}

qint64 UpdateSession::expectedDurationMs() const
{
    const qint64 trip = dataTrip > 0 ? dataTrip : roundTrip;
    return UpdateDuration::expectedMs(trip, QFileInfo(imageFile).size(), verifyAfterWriting);
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
    // The update's own exchanges take over; answers still owed are passed over.
    probe.active = false;
    after = AfterUpdate::NotAsked;
    shown = Progress();
    progressPending = false;
    pendingTraces.clear();
    eta.reset();
    updateStartUs = clock();
    engine.start(reinterpret_cast<const std::uint8_t *>(image.bytes.constData()), std::size_t(image.bytes.size()),
                 verifyAfterWriting);
}

void UpdateSession::cancelUpdate()
{
    engine.cancel();
}

void UpdateSession::Listener::traced(const TraceLine &line)
{
    // Put into words at the tick, away from the reply path; nobody listening needs none.
    static const QMetaMethod tracedSignal = QMetaMethod::fromSignal(&UpdateSession::traced);
    if (session.isSignalConnected(tracedSignal))
        session.pendingTraces.push_back(line);
}

void UpdateSession::Listener::blockShown(int block)
{
    session.shown.block = block;
    session.progressPending = true;
}

void UpdateSession::Listener::pageShown(int page)
{
    session.shown.page = page;
    session.progressPending = true;
}

void UpdateSession::Listener::progressChanged(int pagesDone, int pagesTotal)
{
    Progress &shown = session.shown;
    session.eta.addSample((session.clock() - session.updateStartUs) / 1000, pagesDone, pagesTotal);
    shown.pagesDone = pagesDone;
    shown.pagesTotal = pagesTotal;
    shown.remainingMs = session.eta.remainingMs();
    session.progressPending = true;
}

void UpdateSession::Listener::finished(const Ending &ending)
{
    // What led up to the end is shown before it.
    session.showPending();
    // A success is told once the device has said which firmware it runs.
    if (ending.outcome == UpdateOutcome::Success) {
        session.after = AfterUpdate::Asking;
        session.afterCountdown = AfterUpdateAnswerTicks;
        if (session.state == Disconnected || !session.link.sendIdentify())
            session.endAfterUpdate(AfterUpdate::NotRunning);
        return;
    }
    emit session.finished(ending.outcome, SessionTexts::outcomeMessage(ending));
}
