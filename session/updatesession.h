#pragma once

#include "devicelink.h"
#include "etaestimator.h"
#include "updateengine.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

Q_DECLARE_LOGGING_CATEGORY(lcTrace)

// One device, from Connect to the end of its update: the port pair, the
// greeting and the identity, the reply intake, the tick, the image, the
// engine, the time left and every text the user reads about it. The window
// and the command line are views of it. Sessions share nothing, so several
// can run side by side in one process.
class UpdateSession : public QObject
{
    Q_OBJECT

public:
    enum ConnectionState { Disconnected = 0, Connecting = 1, Connected = 2 };
    Q_ENUM(ConnectionState)

    struct Progress
    {
        int pagesDone = 0;
        int pagesTotal = 0;
        // As the NAND fields show them; -1 before the first.
        int block = -1;
        int page = -1;
        qint64 remainingMs = EtaEstimator::Unknown;
    };

    // After a success the device is asked which firmware it runs now.
    enum class AfterUpdate { NotAsked, Asking, Running, NotRunning };

    // Time-outs are counted in ticks of this length.
    static constexpr int TickIntervalMs = ReplyTimer::TickMs;
    // How often an update looks whether its ports are still there.
    static constexpr int PortCheckTicks = 1000 / TickIntervalMs;
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

    explicit UpdateSession(std::unique_ptr<MidiService> service, QObject *parent = nullptr);
    ~UpdateSession() override;

    // Ports, as MidiPorts lists them.
    QStringList portNames(bool input) const;
    // Opens the pair and greets the device; false when the ports did not open.
    bool connectDevice(int inIndex, int outIndex);
    void disconnectDevice();
    ConnectionState connectionState() const { return state; }
    // One received message, as the ports hand it on; tests may hand in their own.
    void takeMessage(const std::uint8_t *data, std::size_t length);
    void takeMessage(const QByteArray &message)
    {
        takeMessage(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
    }
    // Ends a greeting that has had no answer after this many ticks with
    // identifyTimedOut(); 0 waits for ever.
    void setIdentifyTimeout(int ticks) { identifyTimeoutTicks = ticks; }

    // The identity of the last answer to Identify.
    QString serialText() const { return serial; }
    std::uint32_t firmwareVersion() const { return version; }
    // Identify's round trip at Connect, in microseconds.
    qint64 roundTripUs() const { return roundTrip; }
    // The median round trip of the reads timed after Connect (answers the
    // size of the update's data exchanges); 0 until one came back.
    qint64 dataRoundTripUs() const { return dataTrip; }
    bool isMeasuring() const { return probe.active; }
    // The clock every duration is taken from, in microseconds; a monotonic
    // one unless a test drives its own.
    void setClock(std::function<qint64()> nowUs) { clock = std::move(nowUs); }

    // The status line's sentence about the device's firmware: how it stands
    // against the carried one or, after an update the device does not run
    // yet, that it has to be switched off and on.
    QString verdict() const;
    AfterUpdate afterUpdate() const { return after; }

    // The image written; the built-in one unless set.
    void setImagePath(const QString &path) { imageFile = path; }
    const QString &imagePath() const { return imageFile; }
    // Whether the next update reads every written page back and compares it.
    void setVerify(bool on) { verifyAfterWriting = on; }
    bool verify() const { return verifyAfterWriting; }
    // From the measured data round trip; Identify's until that is known.
    qint64 expectedDurationMs() const;
    // The question to ask before writing: versions, duration, what not to do.
    QString confirmationText() const;
    // Reads the image and starts writing it. What cannot start ends at once
    // with finished().
    void startUpdate();
    void cancelUpdate();
    bool isUpdating() const { return engine.isRunning(); }
    const Progress &progress() const { return shown; }

    // One tick of the clock that counts time-outs; views with a timer of
    // their own call it, others let the session tick itself. Trace lines and
    // progress reach the views here, batched, never between a reply and the
    // command it leads to.
    void tick();
    void startTicking();
    // Trace lines and progress go out every `ticks` ticks (1 unless set).
    void setViewTicks(int ticks) { viewTicks = std::max(1, ticks); }

    // For benchmarks and tests.
    struct Counters
    {
        int received = 0;   // every message taken in
        int exchanges = 0;  // replies the engine was handed while it ran
    };
    const Counters &counters() const { return count; }
    const UpdateEngine &updateEngine() const { return engine; }
    DeviceLink &deviceLink() { return link; }

signals:
    void connectionChanged(UpdateSession::ConnectionState state);
    // The identity fields changed.
    void identified();
    void identifyTimedOut();
    // The reads after Connect were timed (or gave up); not after an update
    // started them off.
    void measured();
    // verdict() may say something else now.
    void verdictChanged();
    // The device's report that it started (true) or ended (false) a transfer;
    // a start is passed on only while an update runs.
    void transferStateChanged(bool on);
    // At most once a tick while an update runs.
    void progressChanged(const UpdateSession::Progress &progress);
    // A trace line that means something to a person; those of a tick come together.
    void traced(const QString &line);
    // Once per startUpdate(): how it ended and the message for the user. A
    // success comes once the device has answered Identify, or has not in
    // AfterUpdateAnswerTicks, and then says the same as verdict().
    void finished(UpdateOutcome outcome, const QString &message);

private:
    // What the engine reports, turned into signals.
    class Listener : public EngineListener
    {
    public:
        explicit Listener(UpdateSession &session) : session(session) {}
        void traced(const TraceLine &line) override;
        void blockShown(int block) override;
        void pageShown(int page) override;
        void progressChanged(int pagesDone, int pagesTotal) override;
        void finished(const Ending &ending) override;

    private:
        UpdateSession &session;
    };

    void takeReply(const Reply &reply);
    // Hands the views what the engine reported since the last time.
    void showPending();
    void takeIdentity(const Reply &reply);
    void setState(ConnectionState next);
    void askIdentity();
    void sendProbe();
    void probeTimedOut();
    void endProbe();
    bool takeProbeAnswer();
    // Says how a written update stands now and ends it with finished().
    void endAfterUpdate(AfterUpdate result);
    void takeFenceAnswer();

    DeviceLink link;
    Listener listener{*this};
    UpdateEngine engine{link, listener};
    ConnectionState state = Disconnected;
    QString serial;
    std::uint32_t version = 0;
    QElapsedTimer monotonic;
    std::function<qint64()> clock;
    qint64 identifySentUs = 0;
    qint64 roundTrip = 0;
    qint64 dataTrip = 0;
    struct Probe
    {
        bool active = false;
        int countdown = 0;
        qint64 sentAtUs = 0;
        std::vector<qint64> tripsUs;
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
    QString imageFile;
    QPair<QString, QString> openNames;  // MIDI IN, MIDI OUT
    int portCheckTicks = 0;
    bool verifyAfterWriting = false;
    qint64 updateStartUs = 0;
    EtaEstimator eta;
    Progress shown;
    bool progressPending = false;
    std::uint64_t droppedSeen = 0;
    int viewTicks = 1;
    int viewCountdown = 0;
    // Reserved up front, so that keeping a line allocates nothing.
    std::vector<TraceLine> pendingTraces;
    Counters count;
    QTimer ticker;
};
