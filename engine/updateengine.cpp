// Theory of operation
//
// The update is a stop-and-wait conversation: every step sends one command and
// waits for the one reply that moves it on. The engine does no I/O of its own,
// owns no timer and holds no text. start() sends ResetNand; handleReply() is
// fed each decoded reply and sends the next command; tick() counts the reply
// time-out down. A reply that does not fit the current step, or arrives when
// no update runs, changes nothing.
//
// 1. ResetNand.
// 2. Probe the pages of block 0 for the newest copy of the bad-block list and
//    read it in four pieces. On a flash without a copy, read the factory defect
//    list instead, erase block 0 and store a first copy in its page 0.
//    Replies carry no sequence number, so a duplicated or garbled answer could
//    pass for the answer to the next read and make an empty page look like the
//    newest copy. Hence every copy and the defect list are read twice and must
//    agree, the page after the newest copy is probed again, and a copy whose
//    markers are not A5 A5 (a power cut while it was programmed) is passed
//    over for the one before it. When answers disagree, a read of another type
//    lets any answer still on its way go by, and block 0 is searched again.
// 3. Write the image, one 64-page image block per good block from block 1 up;
//    each page is BeginPage, 33 PageData pieces of its frame and ProgramPage.
//    A failed erase or program marks the block bad, and the same image block
//    is written again from its page 0 into the next good block.
// 4. If a block went bad, store the list as a new copy in the first free page
//    of block 0 (erasing block 0 first when all its pages are used); then Finish.
//
// A lost answer costs as little as is safe. The wait for an answer follows
// what answers of that command took so far (ReplyTimer). When it runs out, a
// read of another type goes first (the fence): every answer before the
// fence's own is passed over, so a late answer cannot pass for the next one.
// Then a read, ResetNand or an erase is sent again; a page whose answer was
// lost before ProgramPage is written again from its BeginPage and read back
// after it is programmed; a page whose ProgramPage answer was lost is read
// back: as sent, it counts as programmed; erased, it is written again;
// anything else restarts the block. A page that reads back wrong after being
// written again means the device keeps the old page buffer: from then on a
// lost answer restarts the whole block. Five lost answers in a row mean the
// device went silent; ten restarts in a row that get no further than the
// furthest page reached end the update too. A reply that lacks the bytes its
// step needs (cut short on the wire) is ignored like a lost one.
//
// With verification chosen, every written page is read back after the last
// one; a page that reads back wrong marks its block bad, and the image is
// written again from that block's image block on, into the next good blocks.
// After a failed erase, a read of another type goes first, so that a repeated
// failure report cannot pass for the next block's answer. Every command that
// awaits a reply arms the time-out, and a command the port refuses stops the
// update at once. Every ending, good or bad, is reported once to
// the listener, which words it for the user.

#include "updateengine.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace {

constexpr int ListBlock = 0;
constexpr int LastListPage = UpdateEngine::PagesPerBlock - 1;
constexpr int ChunksPerPage = PageFrame::DataSize / PageFrame::ChunkSize;
constexpr int ListPieces = 4;       // 64-byte pieces of the stored copy's first chunk
constexpr int ListPieceSize = PageFrame::ChunkSize / ListPieces;
constexpr int DefectParts = 2;
constexpr int DefectPartSize = 64;
constexpr int MaxFactoryDefects = 3;
constexpr std::uint8_t ErasedByte = 0xFF;

constexpr int CheckPieces = ListPieces;  // ReadChunk pieces per chunk

constexpr Command commandOf(const SysExMessage &message)
{
    return Command(message.bytes[SysEx::CommandOffset]);
}

// The command a reply code answers.
constexpr Command answered(ReplyCode code)
{
    return Command(int(code) - int(ReplyReadDefectList) + int(Command::ReadDefectList));
}

constexpr int chunkAddress(int block, int page, int chunk)
{
    return (block * UpdateEngine::PagesPerBlock + page) * ChunksPerPage + chunk;
}

} // namespace

UpdateEngine::UpdateEngine(CommandSink &sink, EngineListener &listener)
    : sink(sink), listener(listener), listTrace([this](const TraceLine &line) { this->listener.traced(line); })
{
}

void UpdateEngine::start(const std::uint8_t *data, std::size_t size, bool verify)
{
    if (run.running)
        cancel();
    run = Run{};
    run.verify = verify;
    image.assign(data, data + (data ? size : 0));
    run.pagesTotal = static_cast<int>((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    run.blockOfImage.assign(std::size_t((run.pagesTotal + PagesPerBlock - 1) / PagesPerBlock), 0);
    run.running = true;
    if (image.empty()) {
        end(UpdateOutcome::NoImage);
        return;
    }
    reportProgress();
    if (!await(buildResetNand(ImageMajor, ImageMinor, static_cast<std::uint32_t>(image.size()))))
        return;
    trace(TraceKind::ResetNand);
}

int UpdateEngine::totalPages() const
{
    return run.verify ? 2 * run.pagesTotal : run.pagesTotal;
}

void UpdateEngine::handleReply(const Reply &reply)
{
    if (!run.running)
        return;
    if (reply.code == ReplyTransferOff && run.step == StepFinish) {
        end(run.ending);
        return;
    }
    if (reply.code < ReplyReadDefectList || reply.code > ReplyResetNand)
        return;
    run.lastAnswerAt = run.now;
    if (run.awaitingSample && answered(reply.code) == run.awaited) {
        run.awaitingSample = false;
        run.replyTimer.record(run.awaited, run.now - run.sentAt);
    }
    if (run.fencing) {
        if (answered(reply.code) == run.fenceCommand) {
            run.fencing = false;
            afterFence();
        }
        return;
    }
    switch (reply.code) {
    case ReplyResetNand: onResetNandDone(); break;
    case ReplyReadChunk: onChunkRead(reply); break;
    case ReplyReadDefectList: onDefectListRead(reply); break;
    case ReplyEraseBlock: onEraseResult(reply); break;
    case ReplyBeginPage: onBeginPageAck(); break;
    case ReplyPageData: onPieceAck(); break;
    case ReplyProgramPage: onProgramResult(reply); break;
    default: break;
    }
}

void UpdateEngine::tick()
{
    ++run.now;
    if (!run.running || run.timeout <= 0)
        return;
    if (--run.timeout == 0)
        onTimeout();
}

void UpdateEngine::cancel()
{
    if (!run.running)
        return;
    end(UpdateOutcome::Cancelled);
}

void UpdateEngine::portGone()
{
    if (run.running)
        end(UpdateOutcome::PortGone);
}

void UpdateEngine::onResetNandDone()
{
    if (run.step != StepIdle)
        return;
    beginListScan();
    if (run.running)
        trace(TraceKind::ReadBbl);
}

void UpdateEngine::beginListScan()
{
    run.listPage = 0;
    run.usedListPages = 0;
    run.listCopyFound = false;
    run.checkingBoundary = false;
    run.resyncing = false;
    run.step = StepFindBbl;
    run.pieceIndex = 0;
    await(buildReadChunk(0, 0));
}

void UpdateEngine::onChunkRead(const Reply &reply)
{
    if (run.step == StepCheckPage) {
        onCheckPiece(reply);
        return;
    }
    if (run.step != StepFindBbl && run.step != StepReadBbl)
        return;
    if (run.resyncing) {
        beginListScan();
        return;
    }
    if (reply.dataLength < ListPieceSize)
        return;

    if (run.step == StepFindBbl) {
        // The search tells a copy from an empty page by its first data byte.
        const bool inUse = reply.data[0] != ErasedByte;
        if (run.checkingBoundary) {
            if (inUse)
                distrust(Command::ReadChunk);
            else if (run.listCopyFound)
                startImageFromCopy();
            else
                readDefects();
            return;
        }
        if (inUse && run.listPage < LastListPage) {
            ++run.listPage;
            await(buildReadChunk(run.listPage * ChunksPerPage, 0));
            return;
        }
        run.usedListPages = inUse ? run.listPage + 1 : run.listPage;
        if (run.usedListPages == 0) {
            trace(TraceKind::NoBblFound);
            checkListBoundary();
            return;
        }
        trace(TraceKind::FoundBbls, run.usedListPages);
        trace(TraceKind::ReadLastBbl);
        run.listPage = run.usedListPages - 1;
        readListCopy();
        return;
    }

    ReadBack &target = run.readBack[std::size_t(run.readPass)];
    std::memcpy(target.data() + ListPieceSize * run.pieceIndex, reply.data.data(), ListPieceSize);
    ++run.pieceIndex;
    if (run.pieceIndex < ListPieces) {
        await(buildReadChunk(run.listPage * ChunksPerPage, static_cast<std::uint8_t>(run.pieceIndex)));
        return;
    }
    if (run.readPass == 0) {
        run.readPass = 1;
        run.pieceIndex = 0;
        await(buildReadChunk(run.listPage * ChunksPerPage, 0));
        return;
    }
    // The search saw this page in use: reading it empty, or two reads that
    // differ, mean answers went astray.
    if (run.readBack[0] != run.readBack[1] || run.readBack[1][0] == ErasedByte) {
        distrust(Command::ReadChunk);
        return;
    }
    if (!BadBlockList::intactCopy(run.readBack[1].data())) {
        trace(TraceKind::BblPageTorn, run.listPage);
        if (run.listPage == 0) {
            checkListBoundary();  // no whole copy anywhere: as on an unused flash
            return;
        }
        --run.listPage;
        readListCopy();
        return;
    }
    run.listCopyFound = true;
    checkListBoundary();
}

void UpdateEngine::readListCopy()
{
    run.step = StepReadBbl;
    run.readPass = 0;
    run.pieceIndex = 0;
    await(buildReadChunk(run.listPage * ChunksPerPage, 0));
}

void UpdateEngine::checkListBoundary()
{
    if (run.usedListPages >= PagesPerBlock) {
        if (run.listCopyFound)
            startImageFromCopy();
        else
            readDefects();
        return;
    }
    run.step = StepFindBbl;
    run.checkingBoundary = true;
    await(buildReadChunk(run.usedListPages * ChunksPerPage, 0));
}

void UpdateEngine::startImageFromCopy()
{
    run.checkingBoundary = false;
    std::memcpy(frame.bytes.data(), run.readBack[1].data(), ListBytes);
    run.list.loadBblCopy(frame.bytes.data(), listTrace);
    run.list.setChanged(false);
    startImage();
}

void UpdateEngine::readDefects()
{
    run.checkingBoundary = false;
    trace(TraceKind::ReadDefectiveList);
    run.step = StepReadDefects;
    run.pieceIndex = 0;
    await(buildReadDefectList(0));
}

void UpdateEngine::distrust(Command lastRead)
{
    if (++run.listScans >= MaxListScans) {
        end(UpdateOutcome::ListUnreadable);
        return;
    }
    trace(TraceKind::BblAnswersDisagree);
    // A read of the other kind: answers of the kind just used are passed over
    // until its own arrives.
    run.resyncing = true;
    run.pieceIndex = 0;
    run.checkingBoundary = false;
    if (lastRead == Command::ReadChunk) {
        run.step = StepReadDefects;
        await(buildReadDefectList(0));
    } else {
        run.step = StepFindBbl;
        await(buildReadChunk(0, 0));
    }
}

void UpdateEngine::onDefectListRead(const Reply &reply)
{
    if (run.resyncing && run.step == StepEraseBlock) {
        run.resyncing = false;
        eraseDataBlock();
        return;
    }
    if (run.step != StepReadDefects)
        return;
    if (run.resyncing) {
        beginListScan();
        return;
    }
    if (reply.dataLength < DefectPartSize)
        return;
    // Parts 0 and 1, then both again.
    const int pass = run.pieceIndex / DefectParts;
    const int part = run.pieceIndex % DefectParts;
    std::memcpy(run.readBack[std::size_t(pass)].data() + DefectPartSize * part, reply.data.data(),
                DefectPartSize);
    ++run.pieceIndex;
    if (run.pieceIndex < 2 * DefectParts) {
        await(buildReadDefectList(static_cast<std::uint8_t>(run.pieceIndex % DefectParts)));
        return;
    }
    if (!std::equal(run.readBack[0].begin(), run.readBack[0].begin() + DefectParts * DefectPartSize,
                    run.readBack[1].begin())) {
        distrust(Command::ReadDefectList);
        return;
    }
    useDefects();
}

void UpdateEngine::useDefects()
{
    for (int part = 0; part < DefectParts; ++part)
        run.list.loadDefectPart(part, run.readBack[0].data() + DefectPartSize * part);
    const int defects = run.list.countDefects(listTrace);
    if (defects > MaxFactoryDefects) {
        trace(TraceKind::TooManyFactoryDefects);
        end(UpdateOutcome::FlashUnhealthy, defects);
        return;
    }
    listener.blockShown(ListBlock);
    trace(TraceKind::EraseBblBlock);
    run.step = StepEraseBblBlock;
    run.block = ListBlock;
    await(buildEraseBlock(ListBlock));
}

void UpdateEngine::onEraseResult(const Reply &reply)
{
    // A status cut off on the wire says nothing; the time-out will tell.
    if (reply.dataLength < 1)
        return;
    if (run.step == StepEraseBlock) {
        if (run.resyncing)
            return;
        if (reply.fail) {
            trace(TraceKind::EraseBlockFail, run.block);
            run.list.markBad(run.block);
            run.block = run.list.nextGoodBlock(run.block);
            if (run.block == BadBlockList::NoBlock) {
                closingPath();
                return;
            }
            // A repeat of this failure report must not pass for the next
            // block's answer: a read of another type goes first.
            run.resyncing = true;
            await(buildReadDefectList(0));
            return;
        }
        run.page = 0;
        run.blockOfImage[std::size_t(run.imgBlock)] = run.block;
        // Shown once the command is out: a slow log then overlaps the device's work.
        if (!beginDataPage())
            return;
        trace(TraceKind::EraseBlockOk, run.block);
        trace(TraceKind::WriteDataPage);
        listener.blockShown(run.block);
        listener.pageShown(run.page);
        return;
    }

    // Block 0's erase result is not examined: the program of the copy tells.
    if (run.step != StepEraseBblBlock && run.step != StepEraseBblForCopy)
        return;
    trace(TraceKind::EraseBlockOk, ListBlock);
    trace(TraceKind::WritingFirstBbl);
    run.listPage = 0;
    listener.blockShown(ListBlock);
    listener.pageShown(run.listPage);
    run.usedListPages = 0;
    if (run.step == StepEraseBblBlock) {
        run.list.setChanged(false);
        run.step = StepBeginFirstBbl;
    } else {
        run.step = StepBeginBblCopy;
    }
    await(buildBeginPage(ListBlock, static_cast<std::uint8_t>(run.listPage)));
}

void UpdateEngine::onBeginPageAck()
{
    switch (run.step) {
    case StepBeginPage:
        // The frame was built when BeginPage went out.
        run.pieceIndex = 0;
        run.step = StepSendPage;
        if (!sendPiece())
            return;
        trace(TraceKind::WritePage, run.page);
        listener.pageShown(run.page);
        return;
    case StepBeginBblCopy:
    case StepBeginFirstBbl:
        run.pieceIndex = 0;
        run.step = run.step == StepBeginBblCopy ? StepSendBblCopy : StepSendFirstBbl;
        buildBblFrame(frame, run.list.data(), BadBlockList::BlockCount, run.list.factoryDefects());
        if (!sendPiece())
            return;
        trace(TraceKind::WriteBblPage, run.listPage);
        listener.pageShown(run.listPage);
        return;
    default:
        return;
    }
}

void UpdateEngine::onPieceAck()
{
    // The piece status byte is not acted on: the device checks the whole frame.
    UpdateStep next;
    switch (run.step) {
    case StepSendPage: next = StepProgramPage; break;
    case StepSendBblCopy: next = StepProgramBblCopy; break;
    case StepSendFirstBbl: next = StepProgramFirstBbl; break;
    default: return;
    }
    ++run.pieceIndex;
    if (run.pieceIndex < PageFrame::Pieces) {
        sendPiece();
        return;
    }
    run.step = next;
    await(buildProgramPage());
}

void UpdateEngine::onProgramResult(const Reply &reply)
{
    if (reply.dataLength < 1)
        return;
    switch (run.step) {
    case StepProgramPage:
        if (reply.fail) {
            trace(TraceKind::ProgramFail);
            trace(TraceKind::BlockMarkedBad, run.block);
            run.list.markBad(run.block);
            run.checkAfterProgram = false;
            eraseNextGoodBlock();
            return;
        }
        if (run.checkAfterProgram)
            checkPage(run.block, run.page, ChunksPerPage, PageCheck::Restarted);
        else
            dataPageProgrammed();
        return;
    case StepProgramBblCopy:
    case StepProgramFirstBbl:
        if (reply.fail) {
            end(run.step == StepProgramBblCopy ? UpdateOutcome::ListWriteFailed : UpdateOutcome::FirstListWriteFailed);
            return;
        }
        if (run.checkAfterProgram)
            checkPage(ListBlock, run.listPage, 1, PageCheck::Restarted);
        else
            listCopyProgrammed();
        return;
    default:
        return;
    }
}

void UpdateEngine::dataPageProgrammed()
{
    run.checkAfterProgram = false;
    run.pagesDone = run.imgBlock * PagesPerBlock + run.page + 1;
    if (run.pagesDone > run.furthestDone) {
        run.furthestDone = run.pagesDone;
        run.restartsWithoutProgress = 0;
    }
    reportProgress();
    if (run.imageComplete) {
        if (run.verify)
            startVerify();
        else
            closingPath();
        return;
    }
    if (++run.page < PagesPerBlock) {
        beginDataPage();
        return;
    }
    ++run.imgBlock;
    eraseNextGoodBlock();
}

void UpdateEngine::listCopyProgrammed()
{
    run.checkAfterProgram = false;
    if (run.step == StepProgramBblCopy) {
        finishUpdate();
        return;
    }
    run.list.setChanged(false);
    run.usedListPages = run.listPage + 1;
    startImage();
}

void UpdateEngine::closingPath()
{
    if (!run.list.changed()) {
        finishUpdate();
        return;
    }
    if (run.usedListPages >= PagesPerBlock) {
        // No page left after the newest copy: start block 0 afresh.
        listener.blockShown(ListBlock);
        trace(TraceKind::EraseBblBlock);
        run.step = StepEraseBblForCopy;
        await(buildEraseBlock(ListBlock));
        return;
    }
    // The first free page, past a torn copy if the newest page holds one.
    run.step = StepBeginBblCopy;
    run.listPage = run.usedListPages;
    await(buildBeginPage(ListBlock, static_cast<std::uint8_t>(run.listPage)));
}

void UpdateEngine::onTimeout()
{
    if (run.step == StepFinish) {
        // The report may be what got lost; Finish again changes nothing.
        if (run.finishesSent < MaxFinishes) {
            ++run.retries;
            sendFinish();
        }
        else
            end(run.ending);
        return;
    }
    ++run.timeoutsInARow;
    if ((run.timeoutsInARow >= MaxTimeoutsInARow && run.now - run.lastAnswerAt >= QuietTicks)
        || run.timeoutsInARow >= MaxTimeoutsWhileAnswering) {
        end(UpdateOutcome::DeviceSilent);
        return;
    }
    ++run.retries;
    trace(TraceKind::AnswerLost, int(run.awaited));
    // ResetNand is the first command: nothing can be on its way before its answer.
    if (run.step == StepIdle) {
        awaitRepeat();
        return;
    }
    awaitFence();
}

void UpdateEngine::afterFence()
{
    if (std::exchange(run.afterFenceRead, false)) {
        readCheckPage();
        return;
    }
    switch (run.step) {
    case StepBeginPage:
    case StepSendPage:
        restartPage();
        return;
    case StepProgramPage:
        checkPage(run.block, run.page, ChunksPerPage, PageCheck::Programmed);
        return;
    case StepBeginBblCopy:
    case StepSendBblCopy:
    case StepBeginFirstBbl:
    case StepSendFirstBbl:
        if (mayRestart())
            restartListPage(run.listPage);
        return;
    case StepProgramBblCopy:
    case StepProgramFirstBbl:
        checkPage(ListBlock, run.listPage, 1, PageCheck::Programmed);
        return;
    default:
        // A read, an erase: asking again changes nothing on the device.
        awaitRepeat();
        return;
    }
}

bool UpdateEngine::mayRestart()
{
    if (++run.restartsWithoutProgress < MaxRestartsWithoutProgress)
        return true;
    end(UpdateOutcome::Stalled);
    return false;
}

void UpdateEngine::restartPage()
{
    if (!run.pageRestartTrusted) {
        restartBlock();
        return;
    }
    if (!mayRestart())
        return;
    trace(TraceKind::PageRestarted, run.page);
    run.checkAfterProgram = true;
    beginDataPage();
}

void UpdateEngine::restartBlock()
{
    if (!mayRestart())
        return;
    trace(TraceKind::BlockRestarted, run.block);
    run.checkAfterProgram = false;
    eraseDataBlock();
}

void UpdateEngine::restartListPage(int page)
{
    run.listPage = page;
    run.checkAfterProgram = true;
    switch (run.step) {
    case StepSendBblCopy:
    case StepProgramBblCopy:
        run.step = StepBeginBblCopy;
        break;
    case StepSendFirstBbl:
    case StepProgramFirstBbl:
        run.step = StepBeginFirstBbl;
        break;
    default:
        break;
    }
    await(buildBeginPage(ListBlock, static_cast<std::uint8_t>(run.listPage)));
}

void UpdateEngine::checkPage(int block, int page, int chunks, PageCheck purpose)
{
    // The step it checks for is kept in checkStep, so that the result goes back to it.
    run.checkStep = run.step;
    run.step = StepCheckPage;
    run.checkPurpose = purpose;
    run.checkBlock = block;
    run.checkPage = page;
    run.checkPieces = chunks * CheckPieces;
    run.checkAgain = false;
    readCheckPage();
}

void UpdateEngine::readCheckPage()
{
    run.checkIndex = 0;
    run.checkMatches = true;
    run.checkErased = true;
    readCheckPiece();
}

bool UpdateEngine::readCheckPiece()
{
    const int chunk = run.checkIndex / CheckPieces;
    const int piece = run.checkIndex % CheckPieces;
    return await(buildReadChunk(chunkAddress(run.checkBlock, run.checkPage, chunk), std::uint8_t(piece)));
}

void UpdateEngine::onCheckPiece(const Reply &reply)
{
    if (reply.dataLength < ListPieceSize)
        return;
    const int dataOffset = run.checkIndex * ListPieceSize;
    const std::uint8_t *expected = frame.bytes.data() + PageFrame::frameOffset(dataOffset);
    run.checkMatches = run.checkMatches && std::equal(expected, expected + ListPieceSize, reply.data.begin());
    run.checkErased = run.checkErased
                      && std::all_of(reply.data.begin(), reply.data.begin() + ListPieceSize,
                                     [](std::uint8_t b) { return b == ErasedByte; });
    if (++run.checkIndex < run.checkPieces) {
        readCheckPiece();
        return;
    }
    pageChecked();
}

void UpdateEngine::pageChecked()
{
    // A page that reads back otherwise than sent costs a block or more: a
    // duplicated or garbled answer must not decide that, so it is read once
    // more, behind a fence.
    if (!run.checkMatches && !run.checkErased && !run.checkAgain) {
        run.checkAgain = true;
        run.fencing = true;
        run.fenceCommand = Command::ReadDefectList;
        run.afterFenceRead = true;
        awaitSent(buildReadDefectList(0));
        return;
    }
    run.step = run.checkStep;
    const bool listPage = run.checkBlock == ListBlock;
    switch (run.checkPurpose) {
    case PageCheck::Verify:
        if (run.checkMatches) {
            ++run.verifiedPages;
            reportProgress();
            verifyNextPage();
            return;
        }
        // The block lost what it was given: the image goes again from its
        // image block on, into the next good blocks.
        trace(TraceKind::VerifyFailed, run.checkBlock);
        run.list.markBad(run.checkBlock);
        run.imgBlock = run.verifyImageBlock;
        run.block = run.checkBlock;
        run.imageComplete = false;
        run.verifiedPages = run.verifyImageBlock * PagesPerBlock;
        eraseNextGoodBlock();
        return;
    case PageCheck::Programmed:
    case PageCheck::Restarted:
        break;
    }
    if (run.checkMatches) {
        if (listPage)
            listCopyProgrammed();
        else
            dataPageProgrammed();
        return;
    }
    const bool programAnswerLost = run.checkPurpose == PageCheck::Programmed;
    if (!programAnswerLost)
        trace(TraceKind::PageReadBackWrong, run.checkPage);
    if (listPage) {
        // Erased: the program never happened. Otherwise the page holds a torn
        // copy, which the search passes over, so the next page takes the copy.
        const int page = programAnswerLost && run.checkErased ? run.listPage : run.listPage + 1;
        if (page < PagesPerBlock && mayRestart())
            restartListPage(page);
        else if (run.running)
            end(run.step == StepProgramBblCopy ? UpdateOutcome::ListWriteFailed : UpdateOutcome::FirstListWriteFailed);
    } else if (programAnswerLost && run.checkErased) {
        restartPage();
    } else {
        // A page written again that reads back wrong: the device keeps its page buffer.
        run.pageRestartTrusted = run.pageRestartTrusted && programAnswerLost;
        restartBlock();
    }
}

void UpdateEngine::startVerify()
{
    trace(TraceKind::VerifyPages);
    run.verifyImageBlock = run.verifiedPages / PagesPerBlock;
    run.verifyPage = run.verifiedPages % PagesPerBlock;
    verifyNextPage();
}

void UpdateEngine::verifyNextPage()
{
    if (run.verifiedPages >= run.pagesTotal) {
        closingPath();
        return;
    }
    run.verifyImageBlock = run.verifiedPages / PagesPerBlock;
    run.verifyPage = run.verifiedPages % PagesPerBlock;
    const int block = run.blockOfImage[std::size_t(run.verifyImageBlock)];
    if (run.verifyPage == 0)
        listener.blockShown(block);
    listener.pageShown(run.verifyPage);
    buildDataFrame(frame, run.verifyImageBlock, run.verifyPage, image.data(), static_cast<std::int64_t>(image.size()));
    checkPage(block, run.verifyPage, ChunksPerPage, PageCheck::Verify);
}

void UpdateEngine::startImage()
{
    run.imgBlock = 0;
    run.block = run.list.nextGoodBlock(ListBlock);
    if (run.block == BadBlockList::NoBlock)
        closingPath();
    else
        eraseDataBlock();
}

void UpdateEngine::eraseNextGoodBlock()
{
    run.block = run.list.nextGoodBlock(run.block);
    if (run.block == BadBlockList::NoBlock)
        closingPath();
    else
        eraseDataBlock();
}

void UpdateEngine::eraseDataBlock()
{
    run.step = StepEraseBlock;
    await(buildEraseBlock(static_cast<std::uint32_t>(run.block)));
}

bool UpdateEngine::beginDataPage()
{
    run.step = StepBeginPage;
    if (!await(buildBeginPage(static_cast<std::uint32_t>(run.block), static_cast<std::uint8_t>(run.page))))
        return false;
    run.imageComplete = buildDataFrame(frame, run.imgBlock, run.page, image.data(),
                                       static_cast<std::int64_t>(image.size()));
    return true;
}

bool UpdateEngine::sendPiece()
{
    return await(buildPageData(frame.bytes.data() + PageFrame::pieceOffset(run.pieceIndex),
                               PageFrame::pieceLength(run.pieceIndex)));
}

void UpdateEngine::finishUpdate()
{
    int bad = 0;
    for (int b = 0; b < BadBlockList::BlockCount; ++b)
        bad += run.list.isBad(b) ? 1 : 0;
    trace(TraceKind::Finish);
    if (run.retries > 0)
        trace(TraceKind::Retries, run.retries);
    if (run.block == BadBlockList::NoBlock) {
        trace(TraceKind::NotEnoughSpace);
        run.ending = UpdateOutcome::NoSpace;
    } else if (bad > PageFrame::MaxListEntries) {
        // The copy keeps the lowest ones only: the flash needs service.
        trace(TraceKind::TooManyBadBlocks, bad);
        run.ending = UpdateOutcome::FlashWornOut;
    }
    run.step = StepFinish;
    sendFinish();
}

void UpdateEngine::sendFinish()
{
    // Finish has no answer of its own; the device's transfer-off report closes it.
    if (!sink.send(buildFinish())) {
        end(UpdateOutcome::PortLost);
        return;
    }
    ++run.finishesSent;
    run.timeout = run.replyTimer.timeoutFor(Command::Finish);
}

bool UpdateEngine::await(const SysExMessage &command)
{
    // A new command: what was lost before it was answered after all.
    run.timeoutsInARow = 0;
    std::copy_n(command.bytes.begin(), command.length, run.lastCommand.bytes.begin());
    run.lastCommand.length = command.length;
    return awaitSent(command);
}

bool UpdateEngine::awaitRepeat()
{
    return awaitSent(run.lastCommand);
}

bool UpdateEngine::awaitFence()
{
    run.fencing = true;
    run.fenceCommand = commandOf(run.lastCommand) == Command::ReadDefectList ? Command::ReadChunk : Command::ReadDefectList;
    return awaitSent(run.fenceCommand == Command::ReadChunk ? buildReadChunk(0, 0) : buildReadDefectList(0));
}

bool UpdateEngine::awaitSent(const SysExMessage &command)
{
    if (!sink.send(command)) {
        end(UpdateOutcome::PortLost);
        return false;
    }
    run.awaited = commandOf(command);
    run.sentAt = run.now;
    run.awaitingSample = true;
    // Each wait in a row that ran out doubles the next one.
    run.timeout = std::min(run.replyTimer.timeoutFor(run.awaited) << std::min(run.timeoutsInARow, 8),
                           ReplyTimer::CeilingTicks);
    return true;
}

void UpdateEngine::reportProgress()
{
    listener.progressChanged(run.pagesDone + run.verifiedPages, totalPages());
}

void UpdateEngine::end(UpdateOutcome outcome, int factoryDefects)
{
    run.running = false;
    run.timeout = 0;
    listener.finished({outcome, factoryDefects});
}
