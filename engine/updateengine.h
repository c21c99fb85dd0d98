#pragma once

#include "badblocklist.h"
#include "commandsink.h"
#include "enginelistener.h"
#include "pageframe.h"
#include "replytimer.h"
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
    // Five lost answers in a row, each after the others were asked again,
    // mean the device is silent.
    static constexpr int MaxTimeoutsInARow = 5;
    // ... and only once nothing at all came for this long; late answers on a
    // busy link are not silence.
    static constexpr int QuietTicks = ReplyTimer::CeilingTicks;
    // A device that answers, but never the command asked again, after this many.
    static constexpr int MaxTimeoutsWhileAnswering = 4 * MaxTimeoutsInARow;
    // Finish goes out at most this often without the device's transfer-off report.
    static constexpr int MaxFinishes = 3;
    // Restarts of a page or a block in a row that got no further than the
    // furthest page programmed before end the update.
    // On a link that loses one message in a hundred, a page gets through at
    // every other try: forty failed tries in a row mean something else.
    static constexpr int MaxRestartsWithoutProgress = 40;
    static constexpr int MaxListScans = 3;            // searches of block 0 whose answers disagreed
    static constexpr int PagesPerBlock = 64;
    static constexpr std::uint8_t ImageMajor = 1;
    static constexpr std::uint8_t ImageMinor = 9;

    UpdateEngine(CommandSink &sink, EngineListener &listener);

    // Starts an update with a copy of `size` bytes at `image` (Transfer). An
    // empty image ends at once with UpdateOutcome::NoImage and sends nothing.
    // With `verify`, every written page is read back and compared at the end.
    void start(const std::uint8_t *image, std::size_t size, bool verify = false);
    // Codes 11 to 17 move the sequence; others are ignored.
    void handleReply(const Reply &reply);
    // One tick of ReplyTimer::TickMs: counts the reply time-out down.
    void tick();
    // Stops at once; sends nothing more.
    void cancel();
    // The port pair went away under the update: stops at once and says so.
    void portGone();

    bool isRunning() const { return run.running; }
    UpdateStep step() const { return run.step; }
    int currentBlock() const { return run.block; }
    int imageBlock() const { return run.imgBlock; }
    int pageIndex() const { return run.page; }
    int bblPage() const { return run.listPage; }
    // Commands repeated, pages and blocks restarted after a lost answer.
    int retryCount() const { return run.retries; }
    int replyTimeout() const { return run.timeout; }
    // Pages to write, and as many again to read back when verifying.
    int totalPages() const;
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
    void afterFence();

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
    void dataPageProgrammed();
    void listCopyProgrammed();
    void restartPage();
    void restartBlock();
    void restartListPage(int page);
    // Counts a restart; false when restarts stopped getting further.
    bool mayRestart();
    // Reads a page back and compares it with `frame`; pageChecked() acts on the result.
    enum class PageCheck { Programmed, Restarted, Verify };
    void checkPage(int block, int page, int chunks, PageCheck purpose);
    void readCheckPage();
    bool readCheckPiece();
    void onCheckPiece(const Reply &reply);
    void pageChecked();
    void startVerify();
    void verifyNextPage();
    void finishUpdate();
    void sendFinish();
    // Sends a command that awaits a reply and arms its time-out; stops the
    // update when the port refuses it. A repeat does not count as progress.
    bool await(const SysExMessage &command);
    // Sends the last such command again, or a read of another type first.
    bool awaitRepeat();
    bool awaitFence();
    bool awaitSent(const SysExMessage &command);
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }
    void end(UpdateOutcome outcome, int factoryDefects = 0);
    void reportProgress();

    static constexpr int ListBytes = PageFrame::ChunkSize;  // what a stored copy holds for us
    using ReadBack = std::array<std::uint8_t, ListBytes>;

    // Everything one update changes; start() begins from a fresh one.
    struct Run
    {
        BadBlockList list;
        ReplyTimer replyTimer;
        UpdateStep step = StepIdle;
        bool verify = false;
        // Clock and time-out, in ticks.
        int now = 0;
        int timeout = 0;
        int sentAt = 0;
        bool awaitingSample = false;
        Command awaited = Command::Identify;
        SysExMessage lastCommand;   // the last command that awaits an answer
        int retries = 0;
        int timeoutsInARow = 0;
        int lastAnswerAt = 0;       // tick of the last answer of any kind
        int finishesSent = 0;
        UpdateOutcome ending = UpdateOutcome::Success;  // what Finish closes
        // After a lost answer, a read of another type goes first; every
        // answer before its own is passed over, late ones included.
        bool fencing = false;
        Command fenceCommand = Command::ReadDefectList;
        int restartsWithoutProgress = 0;
        int furthestDone = 0;
        // A page written again after a lost answer is read back, since a
        // second BeginPage may not start the device's page buffer afresh.
        bool checkAfterProgram = false;
        // Cleared for good when such a page read back wrong: from then on a
        // lost answer restarts the whole block.
        bool pageRestartTrusted = true;
        // Reading a page back.
        PageCheck checkPurpose = PageCheck::Programmed;
        UpdateStep checkStep = StepIdle;   // the step the check returns to
        int checkBlock = 0;
        int checkPage = 0;
        int checkPieces = 0;
        int checkIndex = 0;
        bool checkMatches = true;
        bool checkErased = true;
        bool checkAgain = false;    // reading a page the second time, to be sure
        bool afterFenceRead = false; // the fence before that second reading
        // The verification pass: image block and page being read back.
        int verifyImageBlock = 0;
        int verifyPage = 0;
        int verifiedPages = 0;
        std::vector<int> blockOfImage;  // where each image block was written
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
