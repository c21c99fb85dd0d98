#pragma once

#include "discoveryrounds.h"
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
// ports and listening on all MIDI IN ports at once, in the rounds of
// DiscoveryRounds: this class opens the ports, carries the messages and the
// ticks, and names what was found. Other makers' devices ignore the message.
// Every port is closed again at the end.
class Discovery : public QObject
{
    Q_OBJECT

public:
    // Makes one more service of the kind the session uses; each probe opens
    // one input and one output of its own.
    using ServiceFactory = std::function<std::unique_ptr<MidiService>()>;

    static constexpr int TickIntervalMs = ReplyTimer::TickMs;  // the session's tick
    static constexpr int RoundAsks = DiscoveryRounds::RoundAsks;
    static constexpr int AskAgainTicks = DiscoveryRounds::AskAgainTicks;
    static constexpr int RoundTicks = DiscoveryRounds::RoundTicks;
    static constexpr int MaxPorts = DiscoveryRounds::MaxPorts;

    explicit Discovery(ServiceFactory factory, QObject *parent = nullptr);
    ~Discovery() override;

    // Lists the ports and starts asking; finished() comes after the rounds.
    void start();
    bool isRunning() const { return rounds.isRunning(); }
    // Stops asking and closes every port; finished() does not come.
    void cancel();
    // One tick of TickIntervalMs; views without a timer let it tick itself.
    void tick();
    void startTicking();
    // Sorted by serial number.
    const QList<FoundDevice> &found() const { return devices; }

    // Ticks a search of `outputs` output ports takes.
    static int durationTicks(int outputs) { return DiscoveryRounds::durationTicks(outputs); }

signals:
    void finished(const QList<FoundDevice> &devices);

private:
    class Probe;

    void ask();
    void finish();

    ServiceFactory makeService;
    std::vector<std::unique_ptr<Probe>> probes;
    QStringList inNames;
    QStringList outNames;
    DiscoveryRounds rounds;
    QList<FoundDevice> devices;
    QTimer ticker;
};
