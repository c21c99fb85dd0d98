#pragma once

#include "badblocklist.h"
#include "commandsink.h"
#include "enginelistener.h"
#include "pageframe.h"
#include "reply.h"
#include "updatestep.h"

#include <array>
#include <cstdint>
#include <vector>

// Theory of operation: see updateengine.cpp. The engine is fed replies and
// ticks, sends through a CommandSink and reports to an EngineListener; it does
// no I/O of its own, owns no timer and holds no text.
class UpdateEngine
{
public:
    static constexpr int ReplyTimeoutTicks = 25;      // of the 100 ms tick
    static constexpr int MaxTimeoutsInARow = 5;       // without a programmed page
    static constexpr int MaxTimeoutsPerImageBlock = 10; // restarts of one image block, in all
    static constexpr int MaxListScans = 3;            // searches of block 0 whose answers disagreed
    static constexpr int PagesPerBlock = 64;
    static constexpr std::uint8_t ImageMajor = 1;
    static constexpr std::uint8_t ImageMinor = 9;

    UpdateEngine(CommandSink &sink, EngineListener &listener);

    // Starts an update with a copy of `size` bytes at `image` (Transfer). An
    // empty image ends at once with UpdateOutcome::NoImage and sends nothing.
    void start(const std::uint8_t *image, std::size_t size);
    // Codes 11 to 17 move the sequence; others are ignored.
    void handleReply(const Reply &reply);
    // One 100 ms tick: counts the reply time-out down.
    void tick();
    // Stops at once; sends nothing more.
    void cancel();

    bool isRunning() const { return run.running; }
    UpdateStep step() const { return run.step; }
    int currentBlock() const { return run.block; }
    int imageBlock() const { return run.imgBlock; }
    int pageIndex() const { return run.page; }
    int bblPage() const { return run.listPage; }
    int retryCount() const { return run.retries; }
    int replyTimeout() const { return run.timeout; }
    int totalPages() const { return run.pagesTotal; }
    const BadBlockList &badBlocks() const { return run.list; }

private:
    // Handlers, one per reply code, as the sequence names them.
    void onResetNandDone();
    void onChunkRead(const Reply &reply);
    void onDefectListRead(const Reply &reply);
    void onEraseResult(const Reply &reply);
    void onBeginPageAck();
    void onPieceAck();
    void onProgramResult(const Reply &reply);
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
    // Sends a command that awaits a reply and arms the time-out; stops the
    // update when the port refuses it.
    bool await(const SysExMessage &command);
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }
    void end(UpdateOutcome outcome, int factoryDefects = 0);

    static constexpr int ListBytes = PageFrame::ChunkSize;  // what a stored copy holds for us
    using ReadBack = std::array<std::uint8_t, ListBytes>;

    // Everything one update changes; start() begins from a fresh one.
    struct Run
    {
        BadBlockList list;
        UpdateStep step = StepIdle;
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

    CommandSink &sink;
    EngineListener &listener;
    BadBlockList::Trace listTrace;
    std::vector<std::uint8_t> image;
    PageFrame frame;
    Run run;
};
