#include "jackbench.h"

#include "barepingpong.h"
#include "figures.h"
#include "headlessupdate.h"
#include "inlinebench.h"
#include "pageframe.h"
#include "privatejack.h"
#include "rtmidiservice.h"
#include "simulatorprocess.h"

#include <QCoreApplication>

using namespace Figures;

namespace {

constexpr double RatioCeiling = 1.05;
// One image block: short enough that the machine's load changes little
// between an update and the bare run beside it.
constexpr int SlicePages = 64;
const QString DevicePorts = QStringLiteral("QelBench");

// Update and bare ping-pong of the same traffic, per exchange; nothing when
// either lost a message (a lost reply costs the update a time-out, so the
// pair would tell nothing).
std::optional<std::pair<double, double>> runPair(HeadlessUpdate &update, BarePingPong &pingPong,
                                                 const ImageFile &slice, const Conversation &conversation,
                                                 bool bareFirst)
{
    std::optional<std::chrono::nanoseconds> bare;
    const auto bareRun = [&] {
        bare = pingPong.run(conversation);
        QCoreApplication::processEvents();
    };
    if (bareFirst)
        bareRun();
    QCoreApplication::processEvents();
    const HeadlessUpdate::Result result = update.run(slice.path());
    QCoreApplication::processEvents();
    if (!bareFirst)
        bareRun();
    const int exchanges = exchangeCount(conversation);
    if (result.outcome != UpdateOutcome::Success || result.exchanges != exchanges || !bare)
        return std::nullopt;
    return std::pair(perExchangeUs(result.elapsed, exchanges), perExchangeUs(*bare, exchanges));
}

} // namespace

void runJackBench(const ImageFile &image, int period, int pairs, const QString &simulatorPath)
{
    say(QStringLiteral("\nThe update over JACK (period %1 frames at 48 kHz) against qel-simulator, "
                       "beside a bare RtMidi ping-pong of the same traffic")
            .arg(period));
    const ImageFile slice(image.bytes().left(qsizetype(SlicePages) * PageFrame::DataSize));
    const Conversation conversation = slice.isValid() ? recordUpdate(slice) : Conversation();
    if (conversation.empty())
        return;

    PrivateJackServer server(QStringLiteral("qelbench"), period, true);
    SimulatorProcess simulator(simulatorPath, DevicePorts);
    QString error = server.start();
    if (error.isEmpty())
        error = simulator.start();
    if (!error.isEmpty()) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }
    // RtMidi's JACK clients are best made once per process.
    HeadlessUpdate update(std::make_unique<RtMidiService>(QStringLiteral("jack")));
    if (!update.openPorts(portRow(update.session().portNames(true), simulator.inPort()),
                          portRow(update.session().portNames(false), simulator.outPort()))) {
        say(QStringLiteral("  skipped: the simulator's ports cannot be opened"));
        return;
    }
    std::unique_ptr<BarePingPong> pingPong;
    try {
        pingPong = std::make_unique<BarePingPong>();
    } catch (const RtMidiError &e) {
        error = QString::fromStdString(e.getMessage());
    }
    if (!pingPong || !pingPong->open(&error)) {
        say(QStringLiteral("  skipped: %1").arg(error));
        return;
    }

    // Alternating order, so that a drift in load favours neither side.
    std::vector<double> updateUs, bareUs, ratios;
    for (int i = 0; i < pairs; ++i) {
        if (const auto pair = runPair(update, *pingPong, slice, conversation, i % 2 == 1)) {
            updateUs.push_back(pair->first);
            bareUs.push_back(pair->second);
            ratios.push_back(pair->first / pair->second);
        }
    }
    update.session().disconnectDevice();
    say(QStringLiteral("  %1 of %2 pairs of %3 pages without a lost message: update %4 us/exchange, bare %5 "
                       "us/exchange (medians); ratio %6")
            .arg(ratios.size())
            .arg(pairs)
            .arg(SlicePages)
            .arg(median(updateUs), 0, 'f', 1)
            .arg(median(bareUs), 0, 'f', 1)
            .arg(ratioSummary(ratios, RatioCeiling)));
    say(QStringLiteral("  simulator: %1").arg(simulator.stop().split(QLatin1Char('\n')).last()));
}
