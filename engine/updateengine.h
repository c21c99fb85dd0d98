#pragma once

#include "badblocklist.h"
#include "commandsink.h"
#include "enginelistener.h"
#include "commandlink.h"
#include "imagewriter.h"
#include "listreader.h"
#include "listwriter.h"
#include "pageframe.h"
#include "reply.h"
#include "restartbudget.h"
#include "verifier.h"

#include <cstdint>
#include <vector>

// Theory of operation: see updateengine.cpp. The engine is fed replies and
// ticks, sends through a CommandSink and reports to an EngineListener; it does
// no I/O of its own, owns no timer and holds no text.
class UpdateEngine
{
public:
    // Finish goes out at most this often without the device's transfer-off report.
    static constexpr int MaxFinishes = 3;
    static constexpr int MaxFactoryDefects = 3;
    static constexpr int PagesPerBlock = 64;
    static constexpr std::uint8_t ImageMajor = 1;
    static constexpr std::uint8_t ImageMinor = 9;

    UpdateEngine(CommandSink &sink, EngineListener &listener);
    UpdateEngine(const UpdateEngine &) = delete;
    UpdateEngine &operator=(const UpdateEngine &) = delete;

    // Starts an update with a copy of `size` bytes at `image` (Transfer). An
    // empty image ends at once with UpdateOutcome::NoImage and sends nothing.
    // With `verify`, every written page is read back and compared at the end,
    // where the device can read its pages back.
    void start(const std::uint8_t *image, std::size_t size, bool verify = false);
    // Update replies move the sequence; others are ignored.
    void handleReply(const Reply &reply);
    // One tick of ReplyTimer::TickMs: counts the reply time-out down.
    void tick();
    // Stops, sending nothing more; while block 0 holds no list, only once a copy is in.
    void cancel();
    // The port pair went away under the update: stops and says so, as cancel() does.
    void portGone();

    bool isRunning() const { return running; }
    // Whether an ending waits for the list to be stored first.
    bool holdingForList() const { return stage == Stage::ListCopy && listWriter.holdsNoList(); }
    int currentBlock() const { return imageWriter.block(); }
    int bblPage() const { return listPage; }
    // Commands repeated after a lost answer.
    int retryCount() const { return link.retries(); }
    int replyTimeout() const { return link.timeout(); }
    // Pages to write, and as many again to read back when verifying.
    int totalPages() const;
    const BadBlockList &badBlocks() const { return list; }
    const DeviceTraits &deviceTraits() const { return traits; }

private:
    enum class Stage { Reset, ReadList, ListCopy, Image, Verify, Finish };

    void onAnswer(const Reply &reply);
    void afterFence();
    void onTimeout();
    void onListRead(ListReader::Result result);
    void onListStored(ListWriter::Result result);
    void onImage(ImageWriter::Result result);
    void onVerified(Verifier::Result result);
    void storeList(int freePage, bool first);
    void startImage();
    void closingPath();
    void finishUpdate();
    void sendFinish();
    void requestEnd(UpdateOutcome outcome);
    void end(UpdateOutcome outcome, int factoryDefects = 0);
    void reportProgress();
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }

    EngineListener &listener;
    CommandLink link;
    BadBlockList list;
    PageFrame frame;
    DeviceTraits traits;
    RestartBudget budget;
    ListReader listReader;
    ListWriter listWriter;
    ImageWriter imageWriter;
    Verifier verifier;
    std::vector<std::uint8_t> image;
    Stage stage = Stage::Reset;
    bool running = false;
    bool verify = false;
    bool firstCopy = false;       // the copy being stored is a new flash's first
    bool verifying = false;       // reading back has begun; progress counts what it found right
    int listPage = 0;             // the page of block 0 holding the copy in use
    int usedListPages = 0;        // pages of block 0 in use; the next copy goes to this one
    int finishesSent = 0;
    int verifyFrom = 0;           // pages read back and found right before a block failed
    int shownProgress = -1;
    UpdateOutcome ending = UpdateOutcome::Success;  // what Finish closes
    bool endPending = false;      // an ending asked for while block 0 held no list
    UpdateOutcome pendingOutcome = UpdateOutcome::Cancelled;
};
