#pragma once

#include "devicelink.h"
#include "deviceconversation.h"

#include <QElapsedTimer>
#include <QLoggingCategory>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>

Q_DECLARE_LOGGING_CATEGORY(lcTrace)

// One device, from Connect to the end of its update, as the desktop has it:
// the conversation of sessioncore (greeting, timed reads, engine, time left,
// after-update question, every word as a phrase) on a port pair, with a
// timer, the image file, the user's language and signals. The window and the
// command line are views of it. Sessions share nothing, so several can run
// side by side in one process.
class UpdateSession : public QObject
{
    Q_OBJECT

public:
    enum ConnectionState { Disconnected = 0, Connecting = 1, Connected = 2 };
    Q_ENUM(ConnectionState)

    using Progress = DeviceConversation::Progress;
    // After a success the device is asked which firmware it runs now.
    using AfterUpdate = DeviceConversation::AfterUpdate;

    // Time-outs are counted in ticks of this length.
    static constexpr int TickIntervalMs = DeviceConversation::TickIntervalMs;
    // How often an update looks whether its ports are still there.
    static constexpr int PortCheckTicks = 1000 / TickIntervalMs;
    static constexpr int IdentifyAgainTicks = DeviceConversation::IdentifyAgainTicks;
    static constexpr int IdentifyAsks = DeviceConversation::IdentifyAsks;
    static constexpr int ProbeReads = DeviceConversation::ProbeReads;
    static constexpr int ProbeTimeoutTicks = DeviceConversation::ProbeTimeoutTicks;
    static constexpr int ProbeAsksAgain = DeviceConversation::ProbeAsksAgain;
    static constexpr int AfterUpdateAnswerTicks = DeviceConversation::AfterUpdateAnswerTicks;

    explicit UpdateSession(std::unique_ptr<MidiService> service, QObject *parent = nullptr);
    ~UpdateSession() override;

    // Ports, as MidiPorts lists them.
    QStringList portNames(bool input) const;
    // Opens the pair and greets the device; false when the ports did not open.
    bool connectDevice(int inIndex, int outIndex);
    void disconnectDevice();
    ConnectionState connectionState() const { return ConnectionState(conversation.connection()); }
    // One received message, as the ports hand it on; tests may hand in their own.
    void takeMessage(const std::uint8_t *data, std::size_t length);
    void takeMessage(const QByteArray &message)
    {
        takeMessage(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
    }
    // Ends a greeting that has had no answer after this many ticks with
    // identifyTimedOut(); 0 waits for ever.
    void setIdentifyTimeout(int ticks) { conversation.setIdentifyTimeout(ticks); }

    // The identity of the last answer to Identify.
    QString serialText() const { return QString::fromStdString(conversation.serialText()); }
    std::uint32_t firmwareVersion() const { return conversation.firmwareVersion(); }
    // Identify's round trip at Connect, in microseconds.
    qint64 roundTripUs() const { return conversation.roundTripUs(); }
    // The median round trip of the reads timed after Connect (answers the
    // size of the update's data exchanges); 0 until one came back.
    qint64 dataRoundTripUs() const { return conversation.dataRoundTripUs(); }
    bool isMeasuring() const { return conversation.isMeasuring(); }
    // The clock every duration is taken from, in microseconds; a monotonic
    // one unless a test drives its own.
    void setClock(std::function<qint64()> nowUs) { clock = std::move(nowUs); }

    // The status line's sentence about the device's firmware: how it stands
    // against the carried one or, after an update the device does not run
    // yet, that it has to be switched off and on.
    QString verdict() const;
    AfterUpdate afterUpdate() const { return conversation.afterUpdate(); }

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
    void cancelUpdate() { conversation.cancelUpdate(); }
    bool isUpdating() const { return conversation.isUpdating(); }
    const Progress &progress() const { return conversation.progress(); }

    // One tick of the clock that counts time-outs; views with a timer of
    // their own call it, others let the session tick itself. Trace lines and
    // progress reach the views here, batched, never between a reply and the
    // command it leads to.
    void tick();
    void startTicking();
    // Trace lines and progress go out every `ticks` ticks (1 unless set).
    void setViewTicks(int ticks) { conversation.setViewTicks(ticks); }

    // For benchmarks and tests.
    struct Counters
    {
        int received = 0;   // every message taken in
        int exchanges = 0;  // replies the engine was handed while it ran
    };
    const Counters &counters() const
    {
        count.exchanges = conversation.exchanges();
        return count;
    }
    const UpdateEngine &updateEngine() const { return conversation.updateEngine(); }
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
    // What the conversation reports, as signals and in the user's language.
    class Relay : public ConversationListener
    {
    public:
        explicit Relay(UpdateSession &session) : session(session) {}
        void connectionChanged(Connection state) override;
        void identified() override;
        void identifyTimedOut() override;
        void measured() override;
        void verdictChanged() override;
        void transferStateChanged(bool on) override;
        void progressChanged(const Progress &progress) override;
        bool wantsTraces() const override;
        void traced(const TraceLine &line) override;
        void finished(UpdateOutcome outcome, const Phrase &message) override;

    private:
        UpdateSession &session;
    };

    DeviceLink link;
    Relay relay{*this};
    DeviceConversation conversation{link, relay};
    QElapsedTimer monotonic;
    std::function<qint64()> clock;
    QString imageFile;
    QPair<QString, QString> openNames;  // MIDI IN, MIDI OUT
    int portCheckTicks = 0;
    bool verifyAfterWriting = false;
    std::uint64_t droppedSeen = 0;
    mutable Counters count;
    QTimer ticker;
};
