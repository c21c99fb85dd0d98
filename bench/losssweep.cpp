// What lost messages cost: many seeded full-image updates against the
// simulated device on one thread, each losing commands and replies at a given
// rate, nothing else. Time is modelled, not measured: a command takes 1 ms on
// the link (a round trip over JACK is about 0.7 ms) and a tick of the engine's
// timer 10 ms, so the figures do not depend on the machine's load.

#include "benchimage.h"
#include "campaign.h"
#include "campaignrig.h"
#include "figures.h"
#include "qtbytes.h"
#include "replytimer.h"
#include "sessiontexts.h"
#include "texts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLocale>
#include <QStringList>

#include <algorithm>
#include <array>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

using Figures::say;

constexpr int ImageBytes = 3915900;  // the size of the built-in image
constexpr double CommandMs = 1.0;
constexpr int MaxTicks = 10'000'000;  // far past any ending the engine reaches by itself
constexpr int ExitViolations = 1;
constexpr int ExitBadOptions = 2;

// What each kind of device must reach at each rate: successes out of 100,
// and the mean modelled time against the loss-free one (0: only reported).
// On a whole-flash device, no worse than the engine before read-back was
// probed, at the same seeds.
struct Target
{
    SimDevice::ReadReach reach;
    double rate;
    int successesPer100;
    double ratio;
};
constexpr std::array<Target, 8> Targets{{
    {SimDevice::ReadReach::BlockZero, 0.0, 100, 1.0},
    {SimDevice::ReadReach::BlockZero, 0.001, 100, 1.4},
    {SimDevice::ReadReach::BlockZero, 0.002, 100, 1.8},
    {SimDevice::ReadReach::BlockZero, 0.01, 95, 0.0},
    {SimDevice::ReadReach::WholeFlash, 0.0, 100, 1.0},
    {SimDevice::ReadReach::WholeFlash, 0.001, 100, 1.22},
    {SimDevice::ReadReach::WholeFlash, 0.002, 100, 0.0},
    {SimDevice::ReadReach::WholeFlash, 0.01, 95, 4.01},
}};

struct RunResult
{
    UpdateOutcome outcome = UpdateOutcome::Cancelled;
    bool ended = false;
    bool imageIntact = false;
    int deviceViolations = 0;
    int commands = 0;
    int ticks = 0;
    CampaignRig::Recovery recovery;
    std::deque<QString> lastLines;  // the end of the engine's trace, with the faults that struck

    double modelledMs() const { return commands * CommandMs + ticks * double(ReplyTimer::TickMs); }
};

RunResult update(const QByteArray &image, SimDevice::ReadReach reach, double rate, std::uint32_t seed,
                 int keepLines = 0)
{
    RunResult result;
    CampaignRig rig;
    rig.loop.device.setReadReach(reach);
    if (keepLines > 0) {
        const auto keep = [&result, keepLines](const QString &line) {
            result.lastLines.push_back(line);
            if (int(result.lastLines.size()) > keepLines)
                result.lastLines.pop_front();
        };
        rig.onTrace = [keep](const TraceLine &line) { keep(Texts::render(SessionTexts::traceLine(line))); };
        rig.loop.faults.onFault = [keep, &rig](LinkFaults::Fault fault, std::uint8_t type) {
            keep(QStringLiteral("  (%1 0x%2 %3, message %4)")
                     .arg(fault == LinkFaults::Fault::LoseCommand ? QStringLiteral("command") : QStringLiteral("reply"))
                     .arg(type, 2, 16, QLatin1Char('0')).arg(QLatin1String(LinkFaults::name(fault))).arg(rig.loop.sentCount()));
        };
    }
    rig.loop.recordSent = false;
    rig.loop.device.storeListCopies(1, {}, 0);  // as shipped
    LinkFaults::Rates rates;
    rates.lose = rate;
    rates.loseCommand = rate;
    rig.loop.faults.setRates(rates, seed);
    rig.start(image);
    result.ended = rig.drive(MaxTicks);
    result.outcome = rig.outcome.value_or(UpdateOutcome::Cancelled);
    result.commands = rig.loop.sentCount();
    result.ticks = rig.ticks;
    result.recovery = rig.recovery;
    result.imageIntact = toQByteArray(rig.loop.device.image(image.size())) == image;
    result.deviceViolations = int(rig.loop.device.violations().size());
    return result;
}

QString number(double value, int decimals = 0)
{
    return QLocale(QLocale::English).toString(value, 'f', decimals);
}

std::uint32_t runSeed(std::uint32_t seed, int rateIndex, int run)
{
    return Campaign::runSeed(seed + std::uint32_t(rateIndex) * 0x10000u, run);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Full-image updates with lost commands and replies."));
    parser.addHelpOption();
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Updates per rate."),
                                        QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption ratesOption(QStringLiteral("rates"),
                                         QStringLiteral("Loss rates, comma separated, each for commands and replies alike."),
                                         QStringLiteral("list"), QStringLiteral("0,0.001,0.002,0.01"));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("What the device reads back: whole, block0 or both."),
                                          QStringLiteral("kind"), QStringLiteral("both"));
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Seed of the first run."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption tailOption(QStringLiteral("tail"),
                                        QStringLiteral("Print the last n trace lines of the first failed update of each rate."),
                                        QStringLiteral("n"), QStringLiteral("0"));
    parser.addOptions({runsOption, ratesOption, seedOption, tailOption, deviceOption});
    parser.process(app);

    bool ok = false;
    const int runs = parser.value(runsOption).toInt(&ok);
    bool seedOk = false;
    const std::uint32_t seed = parser.value(seedOption).toUInt(&seedOk);
    const int tail = parser.value(tailOption).toInt();
    std::vector<double> rates;
    for (const QString &item : parser.value(ratesOption).split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        bool rateOk = false;
        const double rate = item.trimmed().toDouble(&rateOk);
        if (!rateOk || rate < 0 || rate >= 1) {
            ok = false;
            break;
        }
        rates.push_back(rate);
    }
    std::vector<SimDevice::ReadReach> reaches;
    const QString device = parser.value(deviceOption);
    if (device == QLatin1String("block0") || device == QLatin1String("both"))
        reaches.push_back(SimDevice::ReadReach::BlockZero);
    if (device == QLatin1String("whole") || device == QLatin1String("both"))
        reaches.push_back(SimDevice::ReadReach::WholeFlash);
    if (!ok || !seedOk || runs < 1 || rates.empty() || reaches.empty()) {
        std::fputs("qel_bench_losssweep: --runs takes a positive number, --rates numbers from 0 to below 1, "
                   "--device whole, block0 or both\n", stderr);
        return ExitBadOptions;
    }

    QByteArray image = builtInImage(0);
    if (image.size() != ImageBytes) {
        image.resize(ImageBytes);
        for (int i = 0; i < ImageBytes; ++i)
            image[i] = char((i * 7 + i / 2048) % 251);
    }

    int violations = 0;
    for (const SimDevice::ReadReach reach : reaches) {
        const RunResult clean = update(image, reach, 0.0, seed);
        if (clean.outcome != UpdateOutcome::Success || !clean.imageIntact) {
            say(QStringLiteral("the loss-free update failed: %1").arg(Campaign::outcomeName(clean.outcome)));
            ++violations;
            continue;
        }
        const double cleanMs = clean.modelledMs();
        say(QStringLiteral("%8 device. Loss sweep: %1 updates per rate of the %2-byte image, commands and replies lost alike; "
                           "modelled time = commands x %3 ms + ticks x %4 ms. Loss-free: %5 commands, %6 ticks, %7 s.")
                .arg(runs).arg(number(image.size())).arg(CommandMs).arg(ReplyTimer::TickMs).arg(number(clean.commands))
                .arg(clean.ticks).arg(number(cleanMs / 1000.0, 1)).arg(Scenario::reachName(reach)));
        say(QStringLiteral("Commands, time and ratio are means over the updates that succeeded."));
        say(QStringLiteral("%1 %2 %3 %4 %5  %6")
                .arg(QStringLiteral("rate"), -7).arg(QStringLiteral("successes"), 10).arg(QStringLiteral("commands"), 10)
                .arg(QStringLiteral("time (s)"), 9).arg(QStringLiteral("ratio"), 6)
                .arg(QStringLiteral("per run, all runs: answers lost, pages / blocks restarted, read back wrong")));

        for (std::size_t r = 0; r < rates.size(); ++r) {
            const double rate = rates[r];
            int successes = 0;
            int sameCommands = 0;
            double commands = 0;
            double modelledMs = 0;
            std::array<double, 4> recovery{};
            std::array<int, int(UpdateOutcome::ListLost) + 1> failures{};
            QStringList broken;
            QStringList firstFailure;
            for (int i = 0; i < runs; ++i) {
                const RunResult run = update(image, reach, rate, runSeed(seed, int(r), i), tail);
                if (run.outcome != UpdateOutcome::Success && firstFailure.isEmpty() && tail > 0) {
                    firstFailure << QStringLiteral("        the end of run %1 (seed %2):").arg(i).arg(runSeed(seed, int(r), i));
                    for (const QString &line : run.lastLines)
                        firstFailure << QStringLiteral("          ") + line;
                }
                recovery[0] += run.recovery.answersLost;
                recovery[1] += run.recovery.pagesRestarted;
                recovery[2] += run.recovery.blocksRestarted;
                recovery[3] += run.recovery.readBackWrong;
                sameCommands += run.commands == clean.commands ? 1 : 0;
                if (run.deviceViolations)
                    broken << QStringLiteral("run %1 (seed %2): the device saw %3 violations")
                                  .arg(i).arg(runSeed(seed, int(r), i)).arg(run.deviceViolations);
                if (!run.ended)
                    broken << QStringLiteral("run %1 still going after %2 ticks").arg(i).arg(MaxTicks);
                if (run.outcome == UpdateOutcome::Success) {
                    ++successes;
                    commands += run.commands;
                    modelledMs += run.modelledMs();
                    if (!run.imageIntact)
                        broken << QStringLiteral("run %1 (seed %2) succeeded with another image")
                                      .arg(i).arg(runSeed(seed, int(r), i));
                } else {
                    ++failures[std::size_t(run.outcome)];
                }
            }
            violations += int(broken.size());
            // Of the updates that got through: the others stopped early.
            const int counted = std::max(successes, 1);
            const double ratio = modelledMs / counted / cleanMs;
            QString notes;
            for (const Target &target : Targets) {
                if (target.rate != rate || target.reach != reach)
                    continue;
                const bool met = successes * 100 >= target.successesPer100 * runs
                    && (target.ratio == 0.0 || ratio <= target.ratio + 0.005);
                notes = QStringLiteral(" target %1/100%2: %3").arg(target.successesPer100)
                            .arg(target.ratio == 0.0 ? QString() : QStringLiteral(", at most %1 x").arg(target.ratio, 0, 'f', 2))
                            .arg(met ? QStringLiteral("met") : QStringLiteral("MISSED"));
            }
            say(QStringLiteral("%1 %2 %3 %4 %5  %6, %7 / %8, %9%10")
                    .arg(rate, -7, 'g', 3).arg(QStringLiteral("%1/%2").arg(successes).arg(runs), 10)
                    .arg(number(commands / counted), 10).arg(number(modelledMs / counted / 1000.0, 1), 9)
                    .arg(number(ratio, 2), 6).arg(number(recovery[0] / runs, 1)).arg(number(recovery[1] / runs, 1))
                    .arg(number(recovery[2] / runs, 1)).arg(number(recovery[3] / runs, 2)).arg(notes));
            if (rate == 0.0)
                say(QStringLiteral("        exactly the loss-free commands: %1 of %2 runs").arg(sameCommands).arg(runs));
            QStringList failed;
            for (std::size_t o = 0; o < failures.size(); ++o)
                if (failures[o])
                    failed << QStringLiteral("%1 %2").arg(failures[o]).arg(Campaign::outcomeName(UpdateOutcome(o)));
            if (!failed.isEmpty())
                say(QStringLiteral("        failures: ") + failed.join(QStringLiteral(", ")));
            for (const QString &line : broken)
                say(QStringLiteral("        violation: ") + line);
            for (const QString &line : firstFailure)
                say(line);
        }
    }
    say(QStringLiteral("violations (a success that left another image, an update that never ended): %1").arg(violations));
    return violations == 0 ? 0 : ExitViolations;
}
