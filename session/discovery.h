#pragma once

#include "midiports.h"
#include "replytimer.h"

#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>


// A Qel found by asking: which MIDI IN port it answers on, which MIDI OUT
// port reaches it, and who it is.
struct FoundDevice
{
    std::uint32_t serialNumber = 0;
    QString serialText;
    std::uint32_t firmwareVersion = 0;
    int inIndex = -1;
    int outIndex = -1;
    QString inName;
    QString outName;
};

// Finds every Qel on every port pair by sending Identify on all MIDI OUT
// ports and listening on all MIDI IN ports at once. Answers carry no sign of
// the port they were asked on, so the outputs are told apart in rounds: in
// round 0 every output asks, in round r only those whose index has bit r-1
// set; a device's answers over the rounds spell its output's index. Each
// round asks a few times, so that a lost message or answer does not drop a
// bit; answers to the last ask have a quiet while to come back before the
// next round. Other makers' devices ignore the message. Every port is closed
// again at the end.
class Discovery : public QObject
{
    Q_OBJECT

public:
    // Makes one more service of the kind the session uses; each probe opens
    // one input and one output of its own.
    using ServiceFactory = std::function<std::unique_ptr<MidiService>()>;

    static constexpr int TickIntervalMs = ReplyTimer::TickMs;  // the session's tick
    static constexpr int RoundAsks = 3;
    static constexpr int AskAgainTicks = 3;
    static constexpr int QuietTicks = 15;    // after the last ask: a few round trips, even over a slow JACK period
    static constexpr int RoundTicks = (RoundAsks - 1) * AskAgainTicks + QuietTicks;
    static constexpr int MaxPorts = 32;      // per direction; five rounds at most after the first

    explicit Discovery(ServiceFactory factory, QObject *parent = nullptr);
    ~Discovery() override;

    // Lists the ports and starts asking; finished() comes after the rounds.
    void start();
    bool isRunning() const { return running; }
    // Stops asking and closes every port; finished() does not come.
    void cancel();
    // One tick of TickIntervalMs; views without a timer let it tick itself.
    void tick();
    void startTicking();
    // Sorted by serial number.
    const QList<FoundDevice> &found() const { return devices; }

    // Ticks a search of `outputs` output ports takes.
    static int durationTicks(int outputs);

signals:
    void finished(const QList<FoundDevice> &devices);

private:
    class Probe;

    void askRound();
    void takeAnswer(int inIndex, const std::uint8_t *message, std::size_t length);
    void finish();

    ServiceFactory makeService;
    std::vector<std::unique_ptr<Probe>> probes;
    QStringList inNames;
    QStringList outNames;
    // Per device (in, serial): the rounds it answered in, bit r for round r.
    struct Heard
    {
        int inIndex;
        std::uint32_t serial;
        std::uint32_t version;
        unsigned rounds;
    };
    std::vector<Heard> heard;
    QList<FoundDevice> devices;
    int round = 0;
    int rounds = 0;
    int roundTick = 0;
    bool running = false;
    QTimer ticker;
};
