// Theory of operation
//
// One device from Connect to the end of its update, with no I/O, clock or
// text of its own: what is sent goes to a CommandSink, what comes back is
// handed in decoded, time is the caller's (microseconds, passed with each
// call that measures) and the ticks it gives every 10 ms, and what is said
// is a Phrase. The desktop's UpdateSession and the browser's C interface are
// both this conversation with their own ports around it.
//
// Connect greets with Identify. Messages get lost, so an unanswered Identify
// is asked again every 50 ticks, four asks in all; the caller's time-out
// (identifyTimedOut) is longer than that. The first answer times Identify's
// round trip and starts five ReadChunk reads of block 0, one after the other:
// their answers are as long as an update's data exchanges, so their median
// round trip tells how long an update takes. A read whose answer is lost is
// asked again only after an Identify has come back: answers come in order,
// so after the fence no late answer to the lost read can pass for the new
// one. An update started meanwhile takes over; answers still owed to reads
// are passed over until its ResetNand answer, which comes after them all.
//
// Every update reply goes straight to the engine, which answers within the
// same call. What the engine reports (trace lines, progress) is only noted
// and handed to the listener at the tick, so nothing a view does sits
// between a reply and the command it leads to, and the steady exchange of
// pieces allocates nothing.
//
// A success is not told at once: the device is asked Identify, and the
// ending says "now carries 1.09" only when it reports that, "written, starts
// after switched off and on" when it reports another version or says
// nothing for 3 s.

#include "deviceconversation.h"

#include "firmwareversion.h"
#include "sessiontexts.h"
#include "updateduration.h"

#include <algorithm>

DeviceConversation::DeviceConversation(CommandSink &sink, ConversationListener &listener)
    : sink(sink), listener(listener)
{
    pendingTraces.reserve(256);
}

void DeviceConversation::connect(std::int64_t nowUs)
{
    now = nowUs;
    setState(Connection::Connecting);
    identifyCountdown = identifyTimeoutTicks;
    identifyAsked = 0;
    askIdentity();
}

void DeviceConversation::askIdentity()
{
    ++identifyAsked;
    identifyAgainCountdown = IdentifyAgainTicks;
    identifySentUs = now;
    sink.send(buildIdentify());
}

void DeviceConversation::disconnect()
{
    // A written image is reported even when nobody waits for the device's answer.
    if (after == AfterUpdate::Asking)
        endAfterUpdate(AfterUpdate::NotRunning);
    engine.cancel();
    serial.clear();
    version = 0;
    identifyCountdown = 0;
    identifyAsked = 0;
    dataTrip = 0;
    probe = Probe();
    after = AfterUpdate::NotAsked;
    afterCountdown = 0;
    setState(Connection::Disconnected);
}

void DeviceConversation::setState(Connection next)
{
    if (state == next)
        return;
    state = next;
    listener.connectionChanged(state);
}

void DeviceConversation::takeReply(const Reply &reply, std::int64_t nowUs)
{
    now = nowUs;
    switch (reply.code) {
    case ReplyIdentify:
        takeIdentity(reply);
        if (probe.fencing)
            takeFenceAnswer();
        break;
    case ReplyTransferOff:
        // It also closes an update's Finish.
        engine.handleReply(reply);
        listener.transferStateChanged(false);
        break;
    case ReplyTransferOn:
        // After a cancel the device's late report must not lock the controls:
        // its transfer-off report will never come.
        if (engine.isRunning())
            listener.transferStateChanged(true);
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
            ++exchangeCount;
        engine.handleReply(reply);
        break;
    default:
        break;
    }
}

void DeviceConversation::takeIdentity(const Reply &reply)
{
    if (state == Connection::Disconnected)
        return;
    serial = formatSerial(reply.serialNumber);
    version = reply.firmwareVersion;
    const bool afterUpdate = after == AfterUpdate::Asking;
    if (state == Connection::Connecting) {
        roundTrip = now - identifySentUs;
        identifyCountdown = 0;
        setState(Connection::Connected);
        if (!engine.isRunning()) {
            probe = Probe();
            probe.active = true;
            sendProbe();
        }
    }
    listener.identified();
    if (afterUpdate) {
        const bool running = FirmwareVersion::compareWithCarried(version) == FirmwareVersion::Order::Same;
        endAfterUpdate(running ? AfterUpdate::Running : AfterUpdate::NotRunning);
    } else {
        listener.verdictChanged();
    }
}

void DeviceConversation::endAfterUpdate(AfterUpdate result)
{
    after = result;
    listener.verdictChanged();
    // Worded from what the device said, so that every view says the same.
    listener.finished(UpdateOutcome::Success, verdict());
}

// Block 0 is read by every update anyway, and its answers are as long as the
// data exchanges of one, so their round trip tells how long an update takes.
void DeviceConversation::sendProbe()
{
    probe.countdown = ProbeTimeoutTicks;
    probe.sentAtUs = now;
    if (!sink.send(buildReadChunk(0, 0))) {
        endProbe();
        return;
    }
    ++probe.owed;
}

void DeviceConversation::probeTimedOut()
{
    if (probe.asksAgain == ProbeAsksAgain) {
        endProbe();
        return;
    }
    ++probe.asksAgain;
    probe.fencing = true;
    probe.countdown = ProbeTimeoutTicks;
    if (!sink.send(buildIdentify()))
        endProbe();
}

bool DeviceConversation::takeProbeAnswer()
{
    if (probe.owed == 0)
        return false;
    --probe.owed;
    if (!probe.active || probe.fencing)
        return true;  // late, or one an update started after
    probe.tripsUs[probe.trips++] = now - probe.sentAtUs;
    if (probe.trips < ProbeReads)
        sendProbe();
    else
        endProbe();
    return true;
}

void DeviceConversation::takeFenceAnswer()
{
    // Every read's answer that was coming has come.
    probe.fencing = false;
    probe.owed = 0;
    if (probe.active)
        sendProbe();
}

void DeviceConversation::endProbe()
{
    probe.active = false;
    if (probe.trips > 0) {
        std::int64_t *trips = probe.tripsUs;
        std::nth_element(trips, trips + probe.trips / 2, trips + probe.trips);
        dataTrip = trips[probe.trips / 2];
    }
    listener.measured();
}

Phrase DeviceConversation::verdict() const
{
    switch (after) {
    case AfterUpdate::Asking:
        return SessionTexts::outcomeMessage(Ending{});
    case AfterUpdate::NotRunning:
        return SessionTexts::startsAfterPowerCycle();
    case AfterUpdate::Running:
        return SessionTexts::nowCarries(version);
    case AfterUpdate::NotAsked:
        break;
    }
    return FirmwareVersion::verdict(version);
}

void DeviceConversation::tick(std::int64_t nowUs)
{
    now = nowUs;
    engine.tick();
    if (identifyCountdown > 0 && --identifyCountdown == 0 && state == Connection::Connecting)
        listener.identifyTimedOut();
    if (state == Connection::Connecting && identifyAsked < IdentifyAsks && --identifyAgainCountdown == 0)
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

void DeviceConversation::portGone()
{
    engine.portGone();
}

void DeviceConversation::showPending()
{
    for (const TraceLine &line : pendingTraces)
        listener.traced(line);
    pendingTraces.clear();
    if (progressPending) {
        progressPending = false;
        listener.progressChanged(shown);
    }
}

std::int64_t DeviceConversation::expectedDurationMs(std::int64_t imageBytes, bool verify) const
{
    const std::int64_t trip = dataTrip > 0 ? dataTrip : roundTrip;
    return UpdateDuration::expectedMs(trip, imageBytes, verify);
}

Phrase DeviceConversation::confirmation(std::int64_t imageBytes, bool verify) const
{
    return UpdateDuration::confirmation(version, expectedDurationMs(imageBytes, verify));
}

void DeviceConversation::startUpdate(const std::uint8_t *image, std::size_t size, bool verify, std::int64_t nowUs)
{
    now = nowUs;
    // The update's own exchanges take over; answers still owed are passed over.
    probe.active = false;
    after = AfterUpdate::NotAsked;
    shown = Progress();
    progressPending = false;
    pendingTraces.clear();
    eta.reset();
    updateStartUs = now;
    engine.start(image, size, verify);
}

void DeviceConversation::EngineReports::traced(const TraceLine &line)
{
    // Put into words at the tick, away from the reply path; nobody listening needs none.
    if (conversation.listener.wantsTraces())
        conversation.pendingTraces.push_back(line);
}

void DeviceConversation::EngineReports::blockShown(int block)
{
    conversation.shown.block = block;
    conversation.progressPending = true;
}

void DeviceConversation::EngineReports::pageShown(int page)
{
    conversation.shown.page = page;
    conversation.progressPending = true;
}

void DeviceConversation::EngineReports::progressChanged(int pagesDone, int pagesTotal)
{
    DeviceConversation &c = conversation;
    c.eta.addSample((c.now - c.updateStartUs) / 1000, pagesDone, pagesTotal);
    c.shown.pagesDone = pagesDone;
    c.shown.pagesTotal = pagesTotal;
    c.shown.remainingMs = c.eta.remainingMs();
    c.progressPending = true;
}

void DeviceConversation::EngineReports::finished(const Ending &ending)
{
    DeviceConversation &c = conversation;
    // What led up to the end is shown before it.
    c.showPending();
    // A success is told once the device has said which firmware it runs.
    if (ending.outcome == UpdateOutcome::Success) {
        c.after = AfterUpdate::Asking;
        c.afterCountdown = AfterUpdateAnswerTicks;
        if (c.state == Connection::Disconnected || !c.sink.send(buildIdentify()))
            c.endAfterUpdate(AfterUpdate::NotRunning);
        return;
    }
    c.listener.finished(ending.outcome, SessionTexts::outcomeMessage(ending));
}
