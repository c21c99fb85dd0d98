#pragma once

#include "commandsink.h"
#include "enginelistener.h"
#include "etaestimator.h"
#include "phrase.h"
#include "reply.h"
#include "replytimer.h"
#include "updateengine.h"

#include <cstdint>
#include <string>
#include <vector>

// What a conversation reports. Called from within its calls, never later.
class ConversationListener
{
public:
    enum class Connection { Disconnected = 0, Connecting = 1, Connected = 2 };

    struct Progress
    {
        int pagesDone = 0;
        int pagesTotal = 0;
        // As the NAND fields show them; -1 before the first.
        int block = -1;
        int page = -1;
        std::int64_t remainingMs = EtaEstimator::Unknown;
    };

    virtual ~ConversationListener() = default;
    virtual void connectionChanged(Connection state) = 0;
    // The identity fields changed.
    virtual void identified() = 0;
    virtual void identifyTimedOut() = 0;
    // The reads after Connect were timed (or gave up).
    virtual void measured() = 0;
    // verdict() may say something else now.
    virtual void verdictChanged() = 0;
    // The device's report that it started (true) or ended (false) a transfer;
    // a start is passed on only while an update runs.
    virtual void transferStateChanged(bool on) = 0;
    // At most once per showing (a tick, or every few) while an update runs.
    virtual void progressChanged(const Progress &progress) = 0;
    // Trace lines are kept only for a listener that wants them.
    virtual bool wantsTraces() const { return true; }
    virtual void traced(const TraceLine &line) = 0;
    // Once per update started; a success once the device has said which
    // firmware it runs, the message then the same as verdict().
    virtual void finished(UpdateOutcome outcome, const Phrase &message) = 0;
};

// Theory comment and the reasons for each rule: deviceconversation.cpp.
class DeviceConversation
{
public:
    using Connection = ConversationListener::Connection;
    using Progress = ConversationListener::Progress;
    // After a success the device is asked which firmware it runs now.
    enum class AfterUpdate { NotAsked, Asking, Running, NotRunning };

    // Time-outs are counted in ticks of this length.
    static constexpr int TickIntervalMs = ReplyTimer::TickMs;
    // An Identify unanswered this long is asked again, up to this many asks
    // in all: a lost message costs half a second, not the connection.
    static constexpr int IdentifyAgainTicks = 500 / TickIntervalMs;
    static constexpr int IdentifyAsks = 4;
    // Reads timed at Connect, how long one answer may take before it counts
    // as lost, and how many lost ones are asked again before the timing ends
    // with what it has.
    static constexpr int ProbeReads = 5;
    static constexpr int ProbeTimeoutTicks = 500 / TickIntervalMs;
    static constexpr int ProbeAsksAgain = 3;
    // A device that has not answered the Identify after an update this long
    // is taken not to run the new firmware yet.
    static constexpr int AfterUpdateAnswerTicks = 3000 / TickIntervalMs;

    DeviceConversation(CommandSink &sink, ConversationListener &listener);
    DeviceConversation(const DeviceConversation &) = delete;
    DeviceConversation &operator=(const DeviceConversation &) = delete;

    // Greets the device on a pair just opened.
    void connect(std::int64_t nowUs);
    // Forgets the device; a written image not yet told is told first, a
    // running update is cancelled.
    void disconnect();
    Connection connection() const { return state; }
    // Ends a greeting that has had no answer after this many ticks with
    // identifyTimedOut(); 0 waits for ever.
    void setIdentifyTimeout(int ticks) { identifyTimeoutTicks = ticks; }

    // One decoded message from the device, stamped (Reply::sentBefore) as the sink counts.
    void takeReply(const Reply &reply, std::int64_t nowUs);
    // Time-outs, and what waits to be shown.
    void tick(std::int64_t nowUs);
    // What the engine reported goes out every `ticks` ticks (1 unless set).
    void setViewTicks(int ticks) { viewTicks = ticks < 1 ? 1 : ticks; }
    // The port pair went away under a running update.
    void portGone();

    const std::string &serialText() const { return serial; }
    std::uint32_t firmwareVersion() const { return version; }
    // Identify's round trip at Connect, in microseconds.
    std::int64_t roundTripUs() const { return roundTrip; }
    // The median round trip of the reads timed after Connect; 0 until one came back.
    std::int64_t dataRoundTripUs() const { return dataTrip; }
    bool isMeasuring() const { return probe.active; }
    Phrase verdict() const;
    AfterUpdate afterUpdate() const { return after; }
    // From the measured data round trip; Identify's until that is known.
    std::int64_t expectedDurationMs(std::int64_t imageBytes, bool verify) const;
    // The question to ask before writing: versions, duration, what not to do.
    Phrase confirmation(std::int64_t imageBytes, bool verify) const;

    // Starts writing a copy of the image.
    void startUpdate(const std::uint8_t *image, std::size_t size, bool verify, std::int64_t nowUs);
    void cancelUpdate() { engine.cancel(); }
    bool isUpdating() const { return engine.isRunning(); }
    const Progress &progress() const { return shown; }
    // Replies the engine was handed while it ran.
    int exchanges() const { return exchangeCount; }
    const UpdateEngine &updateEngine() const { return engine; }

private:
    class EngineReports : public EngineListener
    {
    public:
        explicit EngineReports(DeviceConversation &conversation) : conversation(conversation) {}
        void traced(const TraceLine &line) override;
        void blockShown(int block) override;
        void pageShown(int page) override;
        void progressChanged(int pagesDone, int pagesTotal) override;
        void finished(const Ending &ending) override;

    private:
        DeviceConversation &conversation;
    };

    void takeIdentity(const Reply &reply);
    void setState(Connection next);
    void askIdentity();
    void sendProbe();
    void probeTimedOut();
    void endProbe();
    bool takeProbeAnswer();
    void takeFenceAnswer();
    void endAfterUpdate(AfterUpdate result);
    void showPending();

    CommandSink &sink;
    ConversationListener &listener;
    EngineReports reports{*this};
    UpdateEngine engine{sink, reports};
    // The clock of the call under way: replies and ticks bring it.
    std::int64_t now = 0;
    Connection state = Connection::Disconnected;
    std::string serial;
    std::uint32_t version = 0;
    std::int64_t identifySentUs = 0;
    std::int64_t roundTrip = 0;
    std::int64_t dataTrip = 0;
    struct Probe
    {
        bool active = false;
        int countdown = 0;
        std::int64_t sentAtUs = 0;
        int trips = 0;
        std::int64_t tripsUs[ProbeReads] = {};
        // Answers still to come to reads sent; an update's ResetNand answer
        // comes after all of them.
        int owed = 0;
        // After a lost answer an Identify goes first: answers come in order,
        // so once its answer is in, a late read's answer cannot pass for the
        // read asked again.
        bool fencing = false;
        int asksAgain = 0;
    } probe;
    AfterUpdate after = AfterUpdate::NotAsked;
    int afterCountdown = 0;
    int identifyTimeoutTicks = 0;
    int identifyCountdown = 0;
    int identifyAsked = 0;
    int identifyAgainCountdown = 0;
    std::int64_t updateStartUs = 0;
    EtaEstimator eta;
    Progress shown;
    bool progressPending = false;
    int viewTicks = 1;
    int viewCountdown = 0;
    int exchangeCount = 0;
    // Reserved up front, so that keeping a line allocates nothing.
    std::vector<TraceLine> pendingTraces;
};
