#include "jackbench.h"

#include "echopeer.h"
#include "figures.h"
#include "headlessupdate.h"
#include "jackserver.h"
#include "rtmidipingpong.h"
#include "rtmidiservice.h"
#include "simulatorprocess.h"

#include <QCoreApplication>

using namespace Figures;

namespace {

constexpr double RatioCeiling = 1.05;
const QString DevicePorts = QStringLiteral("QelBench");
const QString EchoPorts = QStringLiteral("QelBenchEcho");
constexpr int MaxPortsListed = 100;

// Index of the first port whose name contains `name`, as the updater lists them.
template <typename Lister>
int portIndex(Lister list, const QString &name)
{
    for (int i = 0; i < MaxPortsListed; ++i) {
        const std::optional<QString> port = list(i);
        if (!port)
            break;
        if (port->contains(name))
            return i;
    }
    return -1;
}

} // namespace

QString benchJackServerName()
{
    return QStringLiteral("qelbench%1").arg(QCoreApplication::applicationPid());
}

void runJackBench(const QByteArray &image, const Conversation &conversation, const BenchOptions &options)
{
    const int exchanges = exchangeCount(conversation);
    say(QStringLiteral("\nThe update over JACK (period %1 frames at 48 kHz) against qel-simulator, "
                       "beside a bare RtMidi ping-pong of the same %2 commands (%3 exchanges)")
            .arg(options.jackPeriod).arg(conversation.size()).arg(exchanges));

    QString error;
    JackServer server(benchJackServerName(), options.jackPeriod);
    if (!server.start(&error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }
    SimulatorProcess simulator(options.simulator, DevicePorts);
    if (!simulator.start(&error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }

    // One of each for every round: RtMidi's JACK clients are best not made twice.
    HeadlessUpdate update(std::make_unique<RtMidiService>(QStringLiteral("jack")));
    DeviceLink &link = update.link();
    const int in = portIndex([&link](int i) { return link.inPortName(i); }, simulator.inPort());
    const int out = portIndex([&link](int i) { return link.outPortName(i); }, simulator.outPort());
    if (!update.openPorts(in, out)) {
        say(QStringLiteral("  skipped: the simulator's ports %1 and %2 cannot be opened")
                .arg(simulator.inPort(), simulator.outPort()));
        return;
    }
    std::unique_ptr<EchoPeer> peer;
    std::unique_ptr<RtMidiPingPong> pingPong;
    try {
        peer = std::make_unique<EchoPeer>(conversation);
        pingPong = std::make_unique<RtMidiPingPong>(conversation);
    } catch (const RtMidiError &e) {
        say(QStringLiteral("  skipped: %1").arg(QString::fromStdString(e.getMessage())));
        return;
    }
    if (!peer->open(EchoPorts, &error)
        || !pingPong->open(EchoPorts + QStringLiteral(" MIDI IN"), EchoPorts + QStringLiteral(" MIDI OUT"), &error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }

    // A round in which JACK lost a message is reported but not counted: a
    // lost reply costs the update a 2.5 s time-out and the bare loop its end.
    std::vector<double> ratios;
    for (int round = 0; round < options.jackRounds; ++round) {
        QCoreApplication::processEvents();
        const int lateBefore = server.lateCycles();
        const HeadlessUpdate::Result result = update.run(image);
        const int lateInUpdate = server.lateCycles() - lateBefore;
        peer->rewind();
        const std::optional<std::chrono::nanoseconds> bare = pingPong->run();
        QCoreApplication::processEvents();
        const int lateInBare = server.lateCycles() - lateBefore - lateInUpdate;
        const QString late = QStringLiteral("%1 and %2 late JACK cycles").arg(lateInUpdate).arg(lateInBare);
        if (result.outcome != UpdateOutcome::Success || result.exchanges != exchanges || !bare) {
            say(QStringLiteral("  round %1: a message was lost (%2): the update %3, the bare ping-pong %4; not counted")
                    .arg(round + 1)
                    .arg(late)
                    .arg(result.outcome == UpdateOutcome::Success
                             ? QStringLiteral("needed %1 exchanges").arg(result.exchanges)
                             : QStringLiteral("failed"))
                    .arg(bare ? QStringLiteral("ran through") : QStringLiteral("stalled")));
            continue;
        }
        ratios.push_back(seconds(result.elapsed) / seconds(*bare));
        say(QStringLiteral("  round %1: update %2 s, %3 us/exchange; bare ping-pong %4 s, %5 us/exchange; "
                           "ratio %6 (%7)")
                .arg(round + 1)
                .arg(seconds(result.elapsed), 0, 'f', 3)
                .arg(perExchangeUs(result.elapsed, exchanges), 0, 'f', 1)
                .arg(seconds(*bare), 0, 'f', 3)
                .arg(perExchangeUs(*bare, exchanges), 0, 'f', 1)
                .arg(ratios.back(), 0, 'f', 4)
                .arg(late));
    }
    update.link().closePorts();
    if (!ratios.empty()) {
        say(QStringLiteral("  median ratio %1 (target <= %2: %3)")
                .arg(median(ratios), 0, 'f', 4)
                .arg(RatioCeiling)
                .arg(verdict(median(ratios), RatioCeiling)));
    }
    say(QStringLiteral("  simulator: %1").arg(simulator.stop().split(QLatin1Char('\n')).last()));
}
