#include "jackbench.h"

#include "echopeer.h"
#include "figures.h"
#include "headlessupdate.h"
#include "inlinebench.h"
#include "pageframe.h"
#include "privatejack.h"
#include "rtmidipingpong.h"
#include "rtmidiservice.h"
#include "simulatorprocess.h"

#include <QCoreApplication>

#include <algorithm>

using namespace Figures;

namespace {

constexpr double RatioCeiling = 1.05;
// One image block, as for the sim service: short enough that the machine's
// load changes little between an update and the bare run beside it.
constexpr int SlicePages = 64;
const QString DevicePorts = QStringLiteral("QelBench");
const QString EchoPorts = QStringLiteral("QelBenchEcho");

// Index of the first port whose name contains `name`, as the updater lists them.
int portIndex(const QStringList &names, const QString &name)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].contains(name))
            return i;
    return -1;
}

// Everything on the JACK server for the length of the benchmark: RtMidi's
// JACK clients are best made once per process.
struct JackRig
{
    HeadlessUpdate &update;
    EchoPeer &peer;
    RtMidiPingPong &pingPong;
};

struct Pair
{
    HeadlessUpdate::Result update;
    std::optional<std::chrono::nanoseconds> bare;
};

// The update and the bare ping-pong of the same traffic, one after the other.
Pair runPair(JackRig &rig, const ImageFile &image, const Conversation &conversation, bool bareFirst)
{
    Pair pair;
    const auto bareRun = [&] {
        rig.peer.answer(conversation);
        pair.bare = rig.pingPong.run(conversation);
        QCoreApplication::processEvents();
    };
    if (bareFirst)
        bareRun();
    QCoreApplication::processEvents();
    pair.update = rig.update.run(image.path());
    QCoreApplication::processEvents();
    if (!bareFirst)
        bareRun();
    return pair;
}

// True when neither run lost a message: a lost reply costs the update a 2.5 s
// time-out and the bare loop its end, so such a pair tells nothing.
bool clean(const Pair &pair, int exchanges)
{
    return pair.update.outcome == UpdateOutcome::Success && pair.update.exchanges == exchanges && pair.bare;
}

void wholeImage(JackRig &rig, const ImageFile &image, const Conversation &conversation)
{
    const int exchanges = exchangeCount(conversation);
    const Pair pair = runPair(rig, image, conversation, false);
    const bool updateClean = pair.update.outcome == UpdateOutcome::Success && pair.update.exchanges == exchanges;
    const QString update = updateClean
        ? QStringLiteral("update %1 s for %2 exchanges, %3 us/exchange")
              .arg(seconds(pair.update.elapsed), 0, 'f', 2)
              .arg(exchanges)
              .arg(perExchangeUs(pair.update.elapsed, exchanges), 0, 'f', 1)
        : pair.update.outcome == UpdateOutcome::Success
        ? QStringLiteral("the update lost messages and finished after %1 restarts: %2 s for %3 exchanges")
              .arg(pair.update.retries)
              .arg(seconds(pair.update.elapsed), 0, 'f', 1)
              .arg(pair.update.exchanges)
        : QStringLiteral("the update lost messages and stopped after %1 s: %2")
              .arg(seconds(pair.update.elapsed), 0, 'f', 1)
              .arg(pair.update.message);
    const QString bare = pair.bare
        ? QStringLiteral("bare ping-pong %1 s, %2 us/exchange")
              .arg(seconds(*pair.bare), 0, 'f', 2)
              .arg(perExchangeUs(*pair.bare, exchanges), 0, 'f', 1)
        : QStringLiteral("the bare ping-pong lost a message");
    const QString ratio = clean(pair, exchanges)
        ? QStringLiteral("ratio %1").arg(seconds(pair.update.elapsed) / seconds(*pair.bare), 0, 'f', 4)
        : QStringLiteral("no ratio");
    say(QStringLiteral("  whole image: %1; %2; %3").arg(update, bare, ratio));
}

void slices(JackRig &rig, const ImageFile &image, int pairs)
{
    const ImageFile slice(image.bytes().left(qsizetype(SlicePages) * PageFrame::DataSize));
    const Conversation conversation = slice.isValid() ? recordUpdate(slice) : Conversation();
    if (conversation.empty()) {
        say(QStringLiteral("  the one-block update could not be recorded"));
        return;
    }
    const int exchanges = exchangeCount(conversation);
    std::vector<double> updateUs, bareUs, ratios;
    int lost = 0;
    for (int i = 0; i < pairs; ++i) {
        const Pair pair = runPair(rig, slice, conversation, i % 2 == 1);
        if (!clean(pair, exchanges)) {
            ++lost;
            continue;
        }
        updateUs.push_back(perExchangeUs(pair.update.elapsed, exchanges));
        bareUs.push_back(perExchangeUs(*pair.bare, exchanges));
        ratios.push_back(updateUs.back() / bareUs.back());
    }
    if (ratios.empty()) {
        say(QStringLiteral("  every pair of %1 pages lost a message; no ratio").arg(SlicePages));
        return;
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    say(QStringLiteral("  %1 pairs of %2 pages (%3 exchanges, %4 left out for a lost message): update %5 us/exchange, "
                       "bare %6 us/exchange (medians); ratio %7, from %8 to %9 (target <= %10: %11)")
            .arg(ratios.size())
            .arg(SlicePages)
            .arg(exchanges)
            .arg(lost)
            .arg(median(updateUs), 0, 'f', 1)
            .arg(median(bareUs), 0, 'f', 1)
            .arg(median(ratios), 0, 'f', 4)
            .arg(*low, 0, 'f', 3)
            .arg(*high, 0, 'f', 3)
            .arg(RatioCeiling)
            .arg(verdict(median(ratios), RatioCeiling)));
}

} // namespace

void runJackBench(const ImageFile &image, const Conversation &conversation, const BenchOptions &options)
{
    say(QStringLiteral("\nThe update over JACK (period %1 frames at 48 kHz) against qel-simulator, "
                       "beside a bare RtMidi ping-pong of the same traffic")
            .arg(options.jackPeriod));

    PrivateJackServer server(QStringLiteral("qelbench"), options.jackPeriod, true);
    QString error = server.start();
    if (!error.isEmpty()) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }
    SimulatorProcess simulator(options.simulator, DevicePorts);
    if (!simulator.start(&error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }
    HeadlessUpdate update(std::make_unique<RtMidiService>(QStringLiteral("jack")));
    const int in = portIndex(update.session().portNames(true), simulator.inPort());
    const int out = portIndex(update.session().portNames(false), simulator.outPort());
    if (!update.openPorts(in, out)) {
        say(QStringLiteral("  skipped: the simulator's ports %1 and %2 cannot be opened")
                .arg(simulator.inPort(), simulator.outPort()));
        return;
    }
    std::unique_ptr<EchoPeer> peer;
    std::unique_ptr<RtMidiPingPong> pingPong;
    try {
        peer = std::make_unique<EchoPeer>();
        pingPong = std::make_unique<RtMidiPingPong>();
    } catch (const RtMidiError &e) {
        say(QStringLiteral("  skipped: %1").arg(QString::fromStdString(e.getMessage())));
        return;
    }
    if (!peer->open(EchoPorts, &error)
        || !pingPong->open(EchoPorts + QStringLiteral(" MIDI IN"), EchoPorts + QStringLiteral(" MIDI OUT"), &error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }

    JackRig rig{update, *peer, *pingPong};
    wholeImage(rig, image, conversation);
    if (options.jackPairs > 0)
        slices(rig, image, options.jackPairs);
    update.session().disconnectDevice();
    say(QStringLiteral("  simulator: %1").arg(simulator.stop().split(QLatin1Char('\n')).last()));
}
