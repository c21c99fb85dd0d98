#pragma once

#include "badblocklist.h"
#include "pageframe.h"
#include "replycode.h"
#include "sysex.h"
#include "updatestep.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <array>

class DeviceLink;

// Theory of operation: see updateengine.cpp. The engine is fed replies and
// ticks, sends through the DeviceLink and reports through signals; it owns no
// timer and touches no widget.
class UpdateEngine : public QObject
{
    Q_OBJECT

public:
    static constexpr int ReplyTimeoutTicks = 25;      // of the 100 ms tick
    static constexpr int MaxTimeoutsInARow = 5;       // without a programmed page
    static constexpr int MaxTimeoutsPerImageBlock = 10; // restarts of one image block, in all
    static constexpr int MaxListScans = 3;            // searches of block 0 whose answers disagreed
    static constexpr int PagesPerBlock = 64;
    static constexpr std::uint8_t ImageMajor = 1;
    static constexpr std::uint8_t ImageMinor = 9;

    explicit UpdateEngine(DeviceLink &link, QObject *parent = nullptr);

    // Starts an update with `image` (Transfer). An empty image ends at once
    // with UpdateOutcome::NoImage and sends nothing.
    void start(const QByteArray &image);
    // Codes 11 to 17 move the sequence; others are ignored.
    void handleReply(ReplyCode code);
    // One 100 ms tick: counts the reply time-out down.
    void tick();
    // Stops at once; sends nothing more.
    void cancel();

    bool isRunning() const { return running; }
    UpdateStep step() const { return currentStep; }
    int currentBlock() const { return block; }
    int imageBlock() const { return imgBlock; }
    int pageIndex() const { return page; }
    int bblPage() const { return listPage; }
    int retryCount() const { return retries; }
    int replyTimeout() const { return timeout; }
    int totalPages() const { return pagesTotal; }
    const BadBlockList &badBlocks() const { return list; }

signals:
    void trace(const QString &line);
    void blockShown(int block);
    void pageShown(int page);
    // Data pages programmed so far out of those the image needs.
    void progressChanged(int pagesDone, int pagesTotal);
    // Once per start(): how it ended and the text to show the user.
    void finished(UpdateOutcome outcome, const QString &message);

private:
    // Handlers, one per reply code, as the sequence names them.
    void onResetNandDone();
    void onChunkRead();
    void onDefectListRead();
    void onEraseResult();
    void onBeginPageAck();
    void onPieceAck();
    void onProgramResult();
    void closingPath();
    void onTimeout();

    // Steps shared by several handlers.
    void beginListScan();
    void readListCopy();
    void checkListBoundary();
    void readDefects();
    void useDefects();
    void startImageFromCopy();
    void distrust(Command lastRead);
    void startImage();
    void eraseNextGoodBlock();
    void eraseDataBlock();
    // Sends BeginPage for data page `page` of `block`, then builds that page's
    // frame while the command is on its way; false when the port refused.
    bool beginDataPage();
    bool sendPiece();
    void finishUpdate();
    // Arms the reply time-out for a sent command, or stops when the port refused it.
    bool await(bool accepted);
    void end(UpdateOutcome outcome, const QString &message);

    static constexpr int ListBytes = PageFrame::ChunkSize;  // what a stored copy holds for us
    using ReadBack = std::array<std::uint8_t, ListBytes>;

    DeviceLink &link;
    QByteArray image;
    PageFrame frame;
    BadBlockList list;
    BadBlockList::Trace listTrace;
    UpdateStep currentStep = StepIdle;
    int timeout = 0;
    int retries = 0;
    int timeoutsInARow = 0;
    int timeoutsThisImageBlock = 0;
    // Search of block 0: every copy and defect list is read twice and must
    // agree; the page after the newest copy is probed again.
    std::array<ReadBack, 2> readBack{};
    int readPass = 0;
    int usedListPages = 0;      // pages of block 0 in use; the next copy goes to this one
    int listScans = 0;
    bool listCopyFound = false;
    bool checkingBoundary = false;
    // Waiting for the answer to a read of another type, so that any reply
    // still on its way from before is passed over.
    bool resyncing = false;
    int pieceIndex = 0;
    int block = 0;
    int imgBlock = 0;
    int page = 0;
    int listPage = 0;
    int pagesTotal = 0;
    int pagesDone = 0;
    bool imageComplete = false;
    bool running = false;
};
