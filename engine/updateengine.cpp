// Theory of operation
//
// The update is a stop-and-wait conversation: every step sends one command and
// waits for the one reply that moves it on. The engine does no I/O of its own
// and owns no timer. start() sends ResetNand; handleReply() is fed each decoded
// reply and sends the next command; tick() counts the reply time-out down. A
// reply that does not fit the current step, or arrives when no update runs,
// changes nothing.
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
// update at once. Every ending, good or bad, is reported once through
// finished() with a message for the user.

#include "updateengine.h"

#include "devicelink.h"

#include <QCoreApplication>

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

QString firmwareVersionText()
{
    return QStringLiteral("%1.%2").arg(UpdateEngine::ImageMajor).arg(UpdateEngine::ImageMinor, 2, 10, QLatin1Char('0'));
}

} // namespace

UpdateEngine::UpdateEngine(DeviceLink &link, QObject *parent)
    : QObject(parent), link(link), listTrace([this](const QString &line) { emit trace(line); })
{
}

void UpdateEngine::start(const QByteArray &newImage)
{
    if (running)
        cancel();
    image = newImage;
    currentStep = StepIdle;
    imageComplete = false;
    timeoutsInARow = 0;
    timeoutsThisImageBlock = 0;
    listScans = 0;
    resyncing = false;
    checkingBoundary = false;
    pieceIndex = 0;
    block = 0;
    imgBlock = 0;
    page = 0;
    listPage = 0;
    pagesDone = 0;
    pagesTotal = static_cast<int>((image.size() + PageFrame::DataSize - 1) / PageFrame::DataSize);
    running = true;
    if (image.isEmpty()) {
        end(UpdateOutcome::NoImage,
            QCoreApplication::translate("MainWindow",
                "The firmware image could not be read, so nothing was sent to the device. "
                "Please reinstall the updater and try again."));
        return;
    }
    emit progressChanged(pagesDone, pagesTotal);
    if (!await(link.sendResetNand(ImageMajor, ImageMinor, static_cast<std::uint32_t>(image.size()))))
        return;
    emit trace(QStringLiteral("Reset NAND"));
}

void UpdateEngine::handleReply(ReplyCode code)
{
    if (!running)
        return;
    switch (code) {
    case ReplyResetNand: onResetNandDone(); break;
    case ReplyReadChunk: onChunkRead(); break;
    case ReplyReadDefectList: onDefectListRead(); break;
    case ReplyEraseBlock: onEraseResult(); break;
    case ReplyBeginPage: onBeginPageAck(); break;
    case ReplyPageData: onPieceAck(); break;
    case ReplyProgramPage: onProgramResult(); break;
    default: break;
    }
}

void UpdateEngine::tick()
{
    if (!running || timeout <= 0)
        return;
    if (--timeout == 0)
        onTimeout();
}

void UpdateEngine::cancel()
{
    if (!running)
        return;
    end(UpdateOutcome::Cancelled,
        QCoreApplication::translate("MainWindow",
            "The update was stopped before it was complete. The device may not start "
            "until the update has been run again."));
}

void UpdateEngine::onResetNandDone()
{
    if (currentStep != StepIdle)
        return;
    beginListScan();
    if (running)
        emit trace(QCoreApplication::translate("MainWindow", "read BBL\n"));
}

void UpdateEngine::beginListScan()
{
    listPage = 0;
    usedListPages = 0;
    listCopyFound = false;
    checkingBoundary = false;
    resyncing = false;
    currentStep = StepFindBbl;
    pieceIndex = 0;
    await(link.sendReadChunk(0, 0));
}

void UpdateEngine::onChunkRead()
{
    if (currentStep != StepFindBbl && currentStep != StepReadBbl)
        return;
    if (resyncing) {
        beginListScan();
        return;
    }
    if (link.replyDataLength() < ListPieceSize)
        return;

    if (currentStep == StepFindBbl) {
        // The search tells a copy from an empty page by its first data byte.
        const bool inUse = link.replyData()[0] != ErasedByte;
        if (checkingBoundary) {
            if (inUse)
                distrust(Command::ReadChunk);
            else if (listCopyFound)
                startImageFromCopy();
            else
                readDefects();
            return;
        }
        if (inUse && listPage < LastListPage) {
            ++listPage;
            await(link.sendReadChunk(listPage * ChunksPerPage, 0));
            return;
        }
        usedListPages = inUse ? listPage + 1 : listPage;
        if (usedListPages == 0) {
            emit trace(QStringLiteral("no BBL found, NAND is unused"));
            checkListBoundary();
            return;
        }
        emit trace(QStringLiteral("found %1 BBL's").arg(usedListPages));
        emit trace(QStringLiteral("read last BBL"));
        listPage = usedListPages - 1;
        readListCopy();
        return;
    }

    ReadBack &target = readBack[std::size_t(readPass)];
    std::memcpy(target.data() + ListPieceSize * pieceIndex, link.replyData().data(), ListPieceSize);
    ++pieceIndex;
    if (pieceIndex < ListPieces) {
        await(link.sendReadChunk(listPage * ChunksPerPage, static_cast<std::uint8_t>(pieceIndex)));
        return;
    }
    if (readPass == 0) {
        readPass = 1;
        pieceIndex = 0;
        await(link.sendReadChunk(listPage * ChunksPerPage, 0));
        return;
    }
    // The search saw this page in use: reading it empty, or two reads that
    // differ, mean answers went astray.
    if (readBack[0] != readBack[1] || readBack[1][0] == ErasedByte) {
        distrust(Command::ReadChunk);
        return;
    }
    if (!BadBlockList::intactCopy(readBack[1].data())) {
        emit trace(QStringLiteral("BBL page %1 is torn, skipped").arg(listPage));
        if (listPage == 0) {
            checkListBoundary();  // no whole copy anywhere: as on an unused flash
            return;
        }
        --listPage;
        readListCopy();
        return;
    }
    listCopyFound = true;
    checkListBoundary();
}

void UpdateEngine::readListCopy()
{
    currentStep = StepReadBbl;
    readPass = 0;
    pieceIndex = 0;
    await(link.sendReadChunk(listPage * ChunksPerPage, 0));
}

void UpdateEngine::checkListBoundary()
{
    if (usedListPages >= PagesPerBlock) {
        if (listCopyFound)
            startImageFromCopy();
        else
            readDefects();
        return;
    }
    currentStep = StepFindBbl;
    checkingBoundary = true;
    await(link.sendReadChunk(usedListPages * ChunksPerPage, 0));
}

void UpdateEngine::startImageFromCopy()
{
    checkingBoundary = false;
    std::memcpy(frame.bytes.data(), readBack[1].data(), ListBytes);
    list.loadBblCopy(frame.bytes.data(), listTrace);
    list.setChanged(false);
    startImage();
}

void UpdateEngine::readDefects()
{
    checkingBoundary = false;
    emit trace(QStringLiteral("read defective list"));
    currentStep = StepReadDefects;
    pieceIndex = 0;
    await(link.sendReadDefectList(0));
}

void UpdateEngine::distrust(Command lastRead)
{
    if (++listScans >= MaxListScans) {
        end(UpdateOutcome::DeviceSilent,
            QCoreApplication::translate("MainWindow",
                "The device's answers about its list of faulty flash blocks did not agree, so "
                "nothing was written. Please check the MIDI cable and run the update again."));
        return;
    }
    emit trace(QStringLiteral("BBL answers disagree, searching block 0 again"));
    // A read of the other kind: answers of the kind just used are passed over
    // until its own arrives.
    resyncing = true;
    pieceIndex = 0;
    checkingBoundary = false;
    if (lastRead == Command::ReadChunk) {
        currentStep = StepReadDefects;
        await(link.sendReadDefectList(0));
    } else {
        currentStep = StepFindBbl;
        await(link.sendReadChunk(0, 0));
    }
}

void UpdateEngine::onDefectListRead()
{
    if (resyncing && currentStep == StepEraseBlock) {
        resyncing = false;
        eraseDataBlock();
        return;
    }
    if (currentStep != StepReadDefects)
        return;
    if (resyncing) {
        beginListScan();
        return;
    }
    if (link.replyDataLength() < DefectPartSize)
        return;
    // Parts 0 and 1, then both again.
    const int pass = pieceIndex / DefectParts;
    const int part = pieceIndex % DefectParts;
    std::memcpy(readBack[std::size_t(pass)].data() + DefectPartSize * part, link.replyData().data(),
                DefectPartSize);
    ++pieceIndex;
    if (pieceIndex < 2 * DefectParts) {
        await(link.sendReadDefectList(static_cast<std::uint8_t>(pieceIndex % DefectParts)));
        return;
    }
    if (!std::equal(readBack[0].begin(), readBack[0].begin() + DefectParts * DefectPartSize,
                    readBack[1].begin())) {
        distrust(Command::ReadDefectList);
        return;
    }
    useDefects();
}

void UpdateEngine::useDefects()
{
    for (int part = 0; part < DefectParts; ++part)
        list.loadDefectPart(part, readBack[0].data() + DefectPartSize * part);
    const int defects = list.countDefects(listTrace);
    if (defects > MaxFactoryDefects) {
        emit trace(QStringLiteral("more than 3 factory defects, Flash not healthy! Aborting"));
        end(UpdateOutcome::FlashUnhealthy,
            QCoreApplication::translate("MainWindow",
                "The device's flash memory has %1 blocks that were faulty from the factory "
                "(at most 3 are allowed), so it cannot be updated safely. Nothing was "
                "written. Please contact service.").arg(defects));
        return;
    }
    emit blockShown(ListBlock);
    emit trace(QStringLiteral("erase block 0 (BBL block)"));
    currentStep = StepEraseBblBlock;
    block = ListBlock;
    await(link.sendEraseBlock(ListBlock));
}

void UpdateEngine::onEraseResult()
{
    // A status cut off on the wire says nothing; the time-out will tell.
    if (link.replyDataLength() < 1)
        return;
    if (currentStep == StepEraseBlock) {
        if (resyncing)
            return;
        if (link.failFlag()) {
            emit trace(QStringLiteral("Erase block %1 FAIL").arg(block));
            list.markBad(block);
            block = list.nextGoodBlock(block);
            if (block == BadBlockList::NoBlock) {
                closingPath();
                return;
            }
            // A repeat of this failure report must not pass for the next
            // block's answer: a read of another type goes first.
            resyncing = true;
            await(link.sendReadDefectList(0));
            return;
        }
        page = 0;
        // Shown once the command is out: a slow log then overlaps the device's work.
        if (!beginDataPage())
            return;
        emit trace(QStringLiteral("Erase block %1 ok").arg(block));
        emit trace(QStringLiteral("Write Data Page"));
        emit blockShown(block);
        emit pageShown(page);
        return;
    }

    // Block 0's erase result is not examined: the program of the copy tells.
    if (currentStep != StepEraseBblBlock && currentStep != StepEraseBblForCopy)
        return;
    emit trace(QStringLiteral("Erase block %1 ok").arg(ListBlock));
    emit trace(QStringLiteral("writing BBL to block 0 page 0"));
    listPage = 0;
    emit blockShown(ListBlock);
    emit pageShown(listPage);
    usedListPages = 0;
    if (currentStep == StepEraseBblBlock) {
        list.setChanged(false);
        currentStep = StepBeginFirstBbl;
    } else {
        currentStep = StepBeginBblCopy;
    }
    await(link.sendBeginPage(ListBlock, static_cast<std::uint8_t>(listPage)));
}

void UpdateEngine::onBeginPageAck()
{
    switch (currentStep) {
    case StepBeginPage:
        // The frame was built when BeginPage went out.
        pieceIndex = 0;
        currentStep = StepSendPage;
        if (!sendPiece())
            return;
        emit trace(QStringLiteral("write page %1").arg(page));
        emit pageShown(page);
        return;
    case StepBeginBblCopy:
    case StepBeginFirstBbl:
        pieceIndex = 0;
        currentStep = currentStep == StepBeginBblCopy ? StepSendBblCopy : StepSendFirstBbl;
        buildBblFrame(frame, list.data(), BadBlockList::BlockCount, list.factoryDefects());
        if (!sendPiece())
            return;
        emit trace(QStringLiteral("Write BBL Page %1").arg(listPage));
        emit pageShown(listPage);
        return;
    default:
        return;
    }
}

void UpdateEngine::onPieceAck()
{
    // The piece status byte is not acted on: the device checks the whole frame.
    UpdateStep next;
    switch (currentStep) {
    case StepSendPage: next = StepProgramPage; break;
    case StepSendBblCopy: next = StepProgramBblCopy; break;
    case StepSendFirstBbl: next = StepProgramFirstBbl; break;
    default: return;
    }
    ++pieceIndex;
    if (pieceIndex < PageFrame::Pieces) {
        sendPiece();
        return;
    }
    currentStep = next;
    await(link.sendProgramPage());
}

void UpdateEngine::onProgramResult()
{
    if (link.replyDataLength() < 1)
        return;
    switch (currentStep) {
    case StepProgramPage:
        if (link.failFlag()) {
            emit trace(QStringLiteral("FAIL!"));
            emit trace(QStringLiteral("Block %1 is marked as bad").arg(block));
            list.markBad(block);
            eraseNextGoodBlock();
            return;
        }
        timeoutsInARow = 0;
        pagesDone = imgBlock * PagesPerBlock + page + 1;
        emit progressChanged(pagesDone, pagesTotal);
        if (imageComplete) {
            closingPath();
            return;
        }
        if (++page < PagesPerBlock) {
            beginDataPage();
            return;
        }
        ++imgBlock;
        timeoutsThisImageBlock = 0;
        eraseNextGoodBlock();
        return;
    case StepProgramBblCopy:
        if (link.failFlag()) {
            end(UpdateOutcome::ListWriteFailed,
                QCoreApplication::translate("MainWindow",
                    "The firmware was written, but the device could not store its list of "
                    "faulty flash blocks, so it may not start. Please run the update again."));
            return;
        }
        finishUpdate();
        return;
    case StepProgramFirstBbl:
        if (link.failFlag()) {
            end(UpdateOutcome::ListWriteFailed,
                QCoreApplication::translate("MainWindow",
                    "The device could not store its list of faulty flash blocks, so no "
                    "firmware was written. Please run the update again; if it fails again, "
                    "contact service."));
            return;
        }
        list.setChanged(false);
        usedListPages = listPage + 1;
        startImage();
        return;
    default:
        return;
    }
}

void UpdateEngine::closingPath()
{
    if (!list.changed()) {
        finishUpdate();
        return;
    }
    if (usedListPages >= PagesPerBlock) {
        // No page left after the newest copy: start block 0 afresh.
        emit blockShown(ListBlock);
        emit trace(QStringLiteral("erase block 0 (BBL block)"));
        currentStep = StepEraseBblForCopy;
        await(link.sendEraseBlock(ListBlock));
        return;
    }
    // The first free page, past a torn copy if the newest page holds one.
    currentStep = StepBeginBblCopy;
    listPage = usedListPages;
    await(link.sendBeginPage(ListBlock, static_cast<std::uint8_t>(listPage)));
}

void UpdateEngine::onTimeout()
{
    // Each programmed page clears the count in a row, so a device that always
    // loses the same later page is stopped by the count per image block.
    if (!isDataStep(currentStep) || ++timeoutsInARow >= MaxTimeoutsInARow
        || ++timeoutsThisImageBlock >= MaxTimeoutsPerImageBlock) {
        end(UpdateOutcome::DeviceSilent,
            QCoreApplication::translate("MainWindow",
                "The device stopped answering, so the update stopped. Please check the MIDI "
                "cable and the device, then run the update again."));
        return;
    }
    // Whatever got lost, the block is erased again and rewritten from page 0.
    ++retries;
    resyncing = false;
    eraseDataBlock();
}

void UpdateEngine::startImage()
{
    imgBlock = 0;
    timeoutsThisImageBlock = 0;
    block = list.nextGoodBlock(ListBlock);
    if (block == BadBlockList::NoBlock)
        closingPath();
    else
        eraseDataBlock();
}

void UpdateEngine::eraseNextGoodBlock()
{
    block = list.nextGoodBlock(block);
    if (block == BadBlockList::NoBlock)
        closingPath();
    else
        eraseDataBlock();
}

void UpdateEngine::eraseDataBlock()
{
    currentStep = StepEraseBlock;
    await(link.sendEraseBlock(static_cast<std::uint32_t>(block)));
}

bool UpdateEngine::beginDataPage()
{
    currentStep = StepBeginPage;
    if (!await(link.sendBeginPage(static_cast<std::uint32_t>(block), static_cast<std::uint8_t>(page))))
        return false;
    imageComplete = buildDataFrame(frame, imgBlock, page, reinterpret_cast<const std::uint8_t *>(image.constData()),
                                   image.size());
    return true;
}

bool UpdateEngine::sendPiece()
{
    return await(link.sendPageData(frame.bytes.data() + PageFrame::pieceOffset(pieceIndex),
                                   PageFrame::pieceLength(pieceIndex)));
}

void UpdateEngine::finishUpdate()
{
    emit trace(QStringLiteral("*** Finish***"));
    if (retries > 0)
        emit trace(QStringLiteral("(%1 retries)").arg(retries));
    currentStep = StepIdle;
    timeout = 0; // Finish has no answer
    if (!link.sendFinish()) {
        await(false);
        return;
    }
    if (block == BadBlockList::NoBlock) {
        emit trace(QStringLiteral("Error: not enough space in NAND, all 1024 blocks written"));
        end(UpdateOutcome::NoSpace,
            QCoreApplication::translate("MainWindow",
                "The device's flash memory ran out of good blocks before the whole firmware "
                "was written, so the device may not start. Please contact service."));
        return;
    }
    end(UpdateOutcome::Success,
        QCoreApplication::translate("MainWindow",
            "The update is complete: the device now carries firmware %1.").arg(firmwareVersionText()));
}

bool UpdateEngine::await(bool accepted)
{
    if (!accepted) {
        end(UpdateOutcome::PortLost,
            QCoreApplication::translate("MainWindow",
                "The MIDI port refused a message: the device or its cable went away. Please "
                "check the connection, connect again and run the update again."));
        return false;
    }
    timeout = ReplyTimeoutTicks;
    return true;
}

void UpdateEngine::end(UpdateOutcome outcome, const QString &message)
{
    running = false;
    timeout = 0;
    emit finished(outcome, message);
}
