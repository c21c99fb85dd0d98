// Theory of operation
//
// The update is a stop-and-wait conversation: every step sends one command and
// waits for the one reply that moves it on. start() sends ResetNand;
// handleReply() is fed each decoded reply and sends the next command; tick()
// counts the reply time-out down. Each concern has a unit of its own, and this
// file only passes the conversation from one to the next:
//
// 1. ResetNand.
// 2. ListReader finds the bad-block list in block 0, or reads the factory
//    defect list on a new flash, whose first copy ListWriter then stores.
// 3. ImageWriter writes the image, one image block per good block from block 1
//    up, and probes on the way whether data pages can be read back.
// 4. With verification chosen, Verifier reads every page back, where the
//    device has shown it can; elsewhere the update ends written but unchecked.
// 5. If a block went bad, ListWriter stores the list as a new copy; then Finish,
//    closed by the device's transfer-off report.
//
// CommandLink judges which reply is the awaited answer. When the wait for one runs
// out, a fence goes first (ResetNand, the first command, is simply asked
// again) and the unit at work decides what the lost answer costs: each unit's
// theory says what its paths need of the device. Several lost answers in a
// row with nothing heard mean the device went silent; restarts that get no
// further than before end the update as stalled (RestartBudget).
//
// From the moment block 0 is erased until a new copy is in, the device holds
// no list: cancel, a port that went away and silence are held off until the
// copy is in, and if it cannot be stored the user is told the device needs
// service. Every ending, good or bad, is reported once to the listener, which
// words it for the user; a command the port refuses ends the update at once.

#include "updateengine.h"

namespace {

constexpr int ListBlock = 0;

} // namespace

UpdateEngine::UpdateEngine(CommandSink &sink, EngineListener &listener)
    : listener(listener), link(sink), listReader(link, listener, list),
      listWriter(link, listener, list, frame), imageWriter(link, listener, list, frame, traits, budget),
      verifier(link, listener, list, imageWriter, frame)
{
}

void UpdateEngine::start(const std::uint8_t *data, std::size_t size, bool verifyPages)
{
    if (running)
        end(UpdateOutcome::Cancelled);
    link.reset();
    list = BadBlockList{};
    traits = DeviceTraits{};
    budget = RestartBudget{};
    image.assign(data, data + (data ? size : 0));
    imageWriter.setImage(image.data(), image.size());
    stage = Stage::Reset;
    verify = verifyPages;
    firstCopy = false;
    listPage = 0;
    usedListPages = 0;
    finishesSent = 0;
    verifyFrom = 0;
    verifying = false;
    shownProgress = -1;
    ending = UpdateOutcome::Success;
    endPending = false;
    running = true;
    if (image.empty()) {
        end(UpdateOutcome::NoImage);
        return;
    }
    reportProgress();
    link.await(buildResetNand(ImageMajor, ImageMinor, static_cast<std::uint32_t>(image.size())));
    if (link.refused()) {
        end(UpdateOutcome::PortLost);
        return;
    }
    trace(TraceKind::ResetNand);
}

int UpdateEngine::totalPages() const
{
    return verify ? 2 * imageWriter.pageCount() : imageWriter.pageCount();
}

void UpdateEngine::handleReply(const Reply &reply)
{
    if (!running)
        return;
    if (reply.code == ReplyTransferOff && stage == Stage::Finish) {
        end(ending);
        return;
    }
    switch (link.take(reply)) {
    case CommandLink::Take::PassOver: return;
    case CommandLink::Take::Fenced: afterFence(); break;
    case CommandLink::Take::Answer: onAnswer(reply); break;
    }
    if (running && link.refused())
        end(holdingForList() ? UpdateOutcome::ListLost : UpdateOutcome::PortLost);
    if (running)
        reportProgress();
}

void UpdateEngine::tick()
{
    if (!running)
        return;
    if (link.tick())
        onTimeout();
    if (running && link.refused())
        end(holdingForList() ? UpdateOutcome::ListLost : UpdateOutcome::PortLost);
}

void UpdateEngine::cancel()
{
    requestEnd(UpdateOutcome::Cancelled);
}

void UpdateEngine::portGone()
{
    requestEnd(UpdateOutcome::PortGone);
}

void UpdateEngine::requestEnd(UpdateOutcome outcome)
{
    if (!running)
        return;
    if (!holdingForList()) {
        end(outcome);
        return;
    }
    // Ending now would leave the device without a list: that waits for the copy.
    if (!endPending)
        trace(TraceKind::EndHeldForList);
    endPending = true;
    pendingOutcome = outcome;
}

void UpdateEngine::onAnswer(const Reply &reply)
{
    switch (stage) {
    case Stage::Reset:
        stage = Stage::ReadList;
        listReader.start();
        trace(TraceKind::ReadBbl);
        return;
    case Stage::ReadList: onListRead(listReader.onAnswer(reply)); return;
    case Stage::ListCopy: onListStored(listWriter.onAnswer(reply)); return;
    case Stage::Image: onImage(imageWriter.onAnswer(reply)); return;
    case Stage::Verify: onVerified(verifier.onAnswer(reply)); return;
    case Stage::Finish: return;
    }
}

void UpdateEngine::afterFence()
{
    switch (stage) {
    case Stage::Reset: link.repeat(); return;
    case Stage::ReadList: onListRead(listReader.afterFence()); return;
    case Stage::ListCopy: onListStored(listWriter.afterFence()); return;
    case Stage::Image: onImage(imageWriter.afterFence()); return;
    case Stage::Verify: onVerified(verifier.afterFence()); return;
    case Stage::Finish: return;
    }
}

void UpdateEngine::onTimeout()
{
    if (stage == Stage::Finish) {
        // The report may be what got lost; Finish again changes nothing.
        if (finishesSent < MaxFinishes)
            sendFinish();
        else
            end(ending);
        return;
    }
    if (link.silent(holdingForList())) {
        end(holdingForList() ? UpdateOutcome::ListLost : UpdateOutcome::DeviceSilent);
        return;
    }
    trace(TraceKind::AnswerLost, int(link.awaited()));
    // ResetNand is the first command: nothing can be on its way before its answer.
    if (stage == Stage::Reset)
        link.repeat();
    else
        link.fence();
}

void UpdateEngine::onListRead(ListReader::Result result)
{
    switch (result) {
    case ListReader::Result::Busy:
        return;
    case ListReader::Result::CopyLoaded:
        usedListPages = listReader.usedPages();
        listPage = usedListPages - 1;
        startImage();
        return;
    case ListReader::Result::DefectsLoaded: {
        const int defects = list.countDefects([this](const TraceLine &line) { listener.traced(line); });
        if (defects > MaxFactoryDefects) {
            trace(TraceKind::TooManyFactoryDefects);
            end(UpdateOutcome::FlashUnhealthy, defects);
            return;
        }
        storeList(ListWriter::PagesPerBlock, true);
        return;
    }
    case ListReader::Result::Unreadable:
        end(UpdateOutcome::ListUnreadable);
        return;
    }
}

void UpdateEngine::storeList(int freePage, bool first)
{
    stage = Stage::ListCopy;
    firstCopy = first;
    listWriter.store(freePage);
}

void UpdateEngine::onListStored(ListWriter::Result result)
{
    switch (result) {
    case ListWriter::Result::Busy:
        return;
    case ListWriter::Result::Stored:
        listPage = listWriter.page();
        usedListPages = listPage + 1;
        if (endPending) {
            end(pendingOutcome);
            return;
        }
        if (!firstCopy) {
            finishUpdate();
            return;
        }
        list.setChanged(false);
        startImage();
        return;
    case ListWriter::Result::Failed:
        if (firstCopy)
            end(UpdateOutcome::FirstListWriteFailed);
        else
            end(listWriter.holdsNoList() ? UpdateOutcome::ListLost : UpdateOutcome::ListWriteFailed);
        return;
    }
}

void UpdateEngine::startImage()
{
    stage = Stage::Image;
    onImage(imageWriter.writeFrom(0, ListBlock));
}

void UpdateEngine::onImage(ImageWriter::Result result)
{
    switch (result) {
    case ImageWriter::Result::Busy:
        return;
    case ImageWriter::Result::Done:
        if (verify && traits.readBack == DeviceTraits::ReadBack::Works) {
            if (!verifying)
                trace(TraceKind::VerifyPages);
            verifying = true;
            stage = Stage::Verify;
            onVerified(verifier.start(verifyFrom));
            return;
        }
        if (verify)
            ending = UpdateOutcome::NotVerified;
        closingPath();
        return;
    case ImageWriter::Result::NoSpace:
        closingPath();
        return;
    case ImageWriter::Result::Stalled:
        end(UpdateOutcome::Stalled);
        return;
    }
}

void UpdateEngine::onVerified(Verifier::Result result)
{
    switch (result) {
    case Verifier::Result::Busy:
        return;
    case Verifier::Result::Done:
        closingPath();
        return;
    case Verifier::Result::BlockFailed:
        stage = Stage::Image;
        verifyFrom = verifier.pagesVerified();
        onImage(imageWriter.writeFrom(verifier.failedImageBlock(), verifier.failedBlock()));
        return;
    }
}

void UpdateEngine::closingPath()
{
    if (list.changed())
        storeList(usedListPages, false);
    else
        finishUpdate();
}

void UpdateEngine::finishUpdate()
{
    int bad = 0;
    for (int b = 0; b < BadBlockList::BlockCount; ++b)
        bad += list.isBad(b) ? 1 : 0;
    trace(TraceKind::Finish);
    if (link.retries() > 0)
        trace(TraceKind::Retries, link.retries());
    if (imageWriter.block() == BadBlockList::NoBlock) {
        trace(TraceKind::NotEnoughSpace);
        ending = UpdateOutcome::NoSpace;
    } else if (bad > PageFrame::MaxListEntries) {
        // The copy keeps the lowest ones only: the flash needs service.
        trace(TraceKind::TooManyBadBlocks, bad);
        ending = UpdateOutcome::FlashWornOut;
    }
    stage = Stage::Finish;
    sendFinish();
}

void UpdateEngine::sendFinish()
{
    link.sendFinish();
    if (link.refused()) {
        end(UpdateOutcome::PortLost);
        return;
    }
    ++finishesSent;
}

void UpdateEngine::reportProgress()
{
    const int done = imageWriter.pagesDone() + (verifying ? verifier.pagesVerified() : 0);
    if (done == shownProgress)
        return;
    shownProgress = done;
    listener.progressChanged(done, totalPages());
}

void UpdateEngine::end(UpdateOutcome outcome, int factoryDefects)
{
    running = false;
    link.disarm();
    listener.finished({outcome, factoryDefects});
}
