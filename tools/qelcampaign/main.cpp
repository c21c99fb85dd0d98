// Seeded fault campaign against the simulated device: many complete updates
// of a small image, each with random link and flash faults, every one checked
// against the invariants. Prints one summary line; exits 1 on any violation.

#include "campaign.h"
#include "interruptsweep.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>
#include <vector>

namespace {

constexpr int ExitViolations = 1;
constexpr int ExitBadOptions = 2;

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

void printReport(const Scenario &scenario, const RunReport &report)
{
    say(scenario.describe());
    say(QStringLiteral("  %1 ticks, %2 messages, %3 answers lost, %4 pages and %5 blocks restarted, "
                           "%6 pages read back wrong, %7%8")
            .arg(report.ticks).arg(report.messages).arg(report.answersLost).arg(report.pagesRestarted)
            .arg(report.blocksRestarted).arg(report.readBackWrong)
            .arg(report.outcome ? Campaign::outcomeName(*report.outcome) : QStringLiteral("no ending"))
            .arg(report.statusGarbled ? QStringLiteral(", a failure report garbled on the wire") : QString()));
    for (const QString &line : report.violations)
        say(QStringLiteral("  violation: ") + line);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("qelcampaign"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Fault campaign of the Qel updater against the simulated device."));
    parser.addHelpOption();
    const QCommandLineOption seedOption(QStringLiteral("seed"), QStringLiteral("Campaign seed."),
                                        QStringLiteral("n"), QStringLiteral("1"));
    const QCommandLineOption runsOption(QStringLiteral("runs"), QStringLiteral("Number of updates."),
                                        QStringLiteral("n"), QStringLiteral("10000"));
    const QCommandLineOption replayOption(QStringLiteral("replay"),
                                          QStringLiteral("Run the one scenario of this run seed and describe it."),
                                          QStringLiteral("run-seed"));
    const QCommandLineOption interruptOption(QStringLiteral("interrupt"),
                                             QStringLiteral("Cut the update of the run seed's scenario after every exchange in turn."),
                                             QStringLiteral("run-seed"));
    const QCommandLineOption verboseOption(QStringLiteral("verbose"), QStringLiteral("Describe every run."));
    const QCommandLineOption deviceOption(QStringLiteral("device"),
                                          QStringLiteral("What the device reads back: whole (the whole flash), "
                                                         "block0 (block 0 only), or both, one after the other."),
                                          QStringLiteral("kind"), QStringLiteral("both"));
    parser.addOptions({seedOption, runsOption, replayOption, interruptOption, verboseOption, deviceOption});
    parser.process(app);

    bool seedOk = false;
    bool runsOk = false;
    const std::uint32_t seed = parser.value(seedOption).toUInt(&seedOk);
    const int runs = parser.value(runsOption).toInt(&runsOk);
    if (!seedOk || !runsOk || runs < 0) {
        std::fputs("qelcampaign: --seed and --runs take a non-negative number\n", stderr);
        return ExitBadOptions;
    }
    const QString device = parser.value(deviceOption);
    std::vector<SimDevice::ReadReach> reaches;
    if (device == QLatin1String("whole") || device == QLatin1String("both"))
        reaches.push_back(SimDevice::ReadReach::WholeFlash);
    if (device == QLatin1String("block0") || device == QLatin1String("both"))
        reaches.push_back(SimDevice::ReadReach::BlockZero);
    if (reaches.empty()) {
        std::fputs("qelcampaign: --device takes whole, block0 or both\n", stderr);
        return ExitBadOptions;
    }

    if (parser.isSet(replayOption) || parser.isSet(interruptOption)) {
        const bool replay = parser.isSet(replayOption);
        bool ok = false;
        const std::uint32_t runSeed = parser.value(replay ? replayOption : interruptOption).toUInt(&ok);
        if (!ok) {
            std::fputs("qelcampaign: a run seed is a non-negative number\n", stderr);
            return ExitBadOptions;
        }
        bool sound = true;
        for (SimDevice::ReadReach reach : reaches) {
            const Scenario scenario = Scenario::draw(runSeed, reach);
            if (replay) {
                const RunReport report = CampaignRun(scenario).run();
                printReport(scenario, report);
                sound = sound && report.violations.isEmpty();
                continue;
            }
            const InterruptSweep::Result result = InterruptSweep(scenario).run();
            for (const QString &line : result.failures)
                say(line);
            say(QStringLiteral("%1 device, interrupted updates: %2 cuts of %3 exchanges, %4 fresh updates failed")
                    .arg(Scenario::reachName(reach)).arg(result.cuts).arg(result.exchanges).arg(result.failures.size()));
            sound = sound && result.failures.isEmpty();
        }
        return sound ? 0 : ExitViolations;
    }

    const bool verbose = parser.isSet(verboseOption);
    int violations = 0;
    for (SimDevice::ReadReach reach : reaches) {
        Campaign campaign(seed, runs, reach);
        campaign.onRun = [verbose](const Scenario &scenario, const RunReport &report) {
            if (verbose || !report.violations.isEmpty() || report.statusGarbled)
                printReport(scenario, report);
        };
        const Campaign::Summary summary = campaign.run();
        say(summary.outcomeLine());
        say(summary.lossLine());
        say(summary.line());
        violations += summary.violations;
    }
    return violations == 0 ? 0 : ExitViolations;
}
