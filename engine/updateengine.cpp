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
// A missing reply while data is written restarts the block; the fifth in a row
// without a programmed page, the tenth for one image block, or a missing reply
// in any other step, means the device went silent. A reply that lacks the
// bytes its step needs (cut short on the wire) is ignored like a lost one.
// After a failed erase, a read of another type goes first, so that a repeated
// failure report cannot pass for the next block's answer. Every command that
// awaits a reply arms the time-out, and a command the port refuses stops the
// update at once. Every ending, good or bad, is reported once to
// the listener, which words it for the user.

#include "updateengine.h"

#include <algorithm>
#include <cstring>

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

constexpr bool isDataStep(UpdateStep step)
{
    return step == StepEraseBlock || step == StepBeginPage || step == StepSendPage
        || step == StepProgramPage;
}

} // namespace

UpdateEngine::UpdateEngine(CommandSink &sink, EngineListener &listener)
    : sink(sink), listener(listener), listTrace([this](const TraceLine &line) { this->listener.traced(line); })
{
}

void UpdateEngine::start(const std::uint8_t *data, std::size_t size)
{
    if (run.running)
        cancel();
    run = Run{};
    image.assign(data, data + (data ? size : 0));
    run.pagesTotal = static_cast<int>((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    run.running = true;
    if (image.empty()) {
        end(UpdateOutcome::NoImage);
        return;
    }
    listener.progressChanged(run.pagesDone, run.pagesTotal);
    if (!await(buildResetNand(ImageMajor, ImageMinor, static_cast<std::uint32_t>(image.size()))))
        return;
    trace(TraceKind::ResetNand);
}

void UpdateEngine::handleReply(const Reply &reply)
{
    if (!run.running)
        return;
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
            eraseNextGoodBlock();
            return;
        }
        run.timeoutsInARow = 0;
        run.pagesDone = run.imgBlock * PagesPerBlock + run.page + 1;
        listener.progressChanged(run.pagesDone, run.pagesTotal);
        if (run.imageComplete) {
            closingPath();
            return;
        }
        if (++run.page < PagesPerBlock) {
            beginDataPage();
            return;
        }
        ++run.imgBlock;
        run.timeoutsThisImageBlock = 0;
        eraseNextGoodBlock();
        return;
    case StepProgramBblCopy:
        if (reply.fail) {
            end(UpdateOutcome::ListWriteFailed);
            return;
        }
        finishUpdate();
        return;
    case StepProgramFirstBbl:
        if (reply.fail) {
            end(UpdateOutcome::FirstListWriteFailed);
            return;
        }
        run.list.setChanged(false);
        run.usedListPages = run.listPage + 1;
        startImage();
        return;
    default:
        return;
    }
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
    // Each programmed page clears the count in a row, so a device that always
    // loses the same later page is stopped by the count per image block.
    if (!isDataStep(run.step) || ++run.timeoutsInARow >= MaxTimeoutsInARow
        || ++run.timeoutsThisImageBlock >= MaxTimeoutsPerImageBlock) {
        end(UpdateOutcome::DeviceSilent);
        return;
    }
    // Whatever got lost, the block is erased again and rewritten from page 0.
    ++run.retries;
    run.resyncing = false;
    eraseDataBlock();
}

void UpdateEngine::startImage()
{
    run.imgBlock = 0;
    run.timeoutsThisImageBlock = 0;
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
    trace(TraceKind::Finish);
    if (run.retries > 0)
        trace(TraceKind::Retries, run.retries);
    run.step = StepIdle;
    run.timeout = 0; // Finish has no answer
    if (!sink.send(buildFinish())) {
        end(UpdateOutcome::PortLost);
        return;
    }
    if (run.block == BadBlockList::NoBlock) {
        trace(TraceKind::NotEnoughSpace);
        end(UpdateOutcome::NoSpace);
        return;
    }
    end(UpdateOutcome::Success);
}

bool UpdateEngine::await(const SysExMessage &command)
{
    if (!sink.send(command)) {
        end(UpdateOutcome::PortLost);
        return false;
    }
    run.timeout = ReplyTimeoutTicks;
    return true;
}

void UpdateEngine::end(UpdateOutcome outcome, int factoryDefects)
{
    run.running = false;
    run.timeout = 0;
    listener.finished({outcome, factoryDefects});
}
