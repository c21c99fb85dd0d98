#include "campaign.h"

#include "updateoutcome.h"

#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>

namespace {

constexpr std::uint32_t GoldenRatio = 0x9E3779B9u;
// Where the loss bands between "none" and the last one end.
constexpr std::array<double, 2> LossBandEnds{1e-4, 1e-3};
const std::array<const char *, Campaign::Summary::LossBands> LossBandNames{"none", "<1e-4", "1e-4..1e-3",
                                                                            "1e-3..1e-2"};

} // namespace

QString Campaign::outcomeName(UpdateOutcome outcome)
{
    // The engine's one name, as the summary lines read best.
    return QString::fromLatin1(::outcomeName(outcome)).replace(QLatin1Char('_'), QLatin1Char(' '));
}

Campaign::Campaign(std::uint32_t seed, int runs, SimDevice::ReadReach reach)
    : seed(seed), runs(runs), reach(reach)
{
}

std::uint32_t Campaign::runSeed(std::uint32_t seed, int index)
{
    std::uint32_t x = seed + GoldenRatio * std::uint32_t(index + 1);
    // A round of xorshift-multiply so neighbouring seeds draw unlike scenarios.
    x ^= x >> 16;
    x *= 0x7FEB352Du;
    x ^= x >> 15;
    return x;
}

Campaign::Summary Campaign::run()
{
    Summary summary;
    summary.seed = seed;
    summary.reach = reach;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < runs; ++i) {
        const Scenario scenario = Scenario::draw(runSeed(seed, i), reach);
        const RunReport report = CampaignRun(scenario).run();
        ++summary.runs;
        summary.messages += report.messages;
        if (report.statusGarbled)
            ++summary.garbled;
        if (!report.violations.isEmpty())
            ++summary.violations;
        else if (report.outcome == UpdateOutcome::Success || report.outcome == UpdateOutcome::NotVerified)
            ++summary.successes;
        else
            ++summary.cleanFailures;
        if (report.outcome)
            ++summary.outcomes[std::size_t(*report.outcome)];
        Summary::Band &band = summary.byLoss[std::size_t(Summary::lossBand(scenario.rates))];
        ++band.runs;
        band.successes += report.succeeded() ? 1 : 0;
        if (onRun)
            onRun(scenario, report);
    }
    summary.milliseconds = clock.elapsed();
    return summary;
}

QString Campaign::Summary::line() const
{
    return QStringLiteral("campaign seed %1, %8 device: %2 runs, %3 successes, %4 clean failures, %5 violations "
                          "(%6 messages, %7 s)")
        .arg(seed).arg(runs).arg(successes).arg(cleanFailures).arg(violations).arg(messages)
        .arg(double(milliseconds) / 1000.0, 0, 'f', 1).arg(Scenario::reachName(reach));
}

QString Campaign::Summary::outcomeLine() const
{
    QStringList parts;
    for (std::size_t i = 0; i < outcomes.size(); ++i)
        if (outcomes[i])
            parts << QStringLiteral("%1 %2").arg(outcomes[i]).arg(outcomeName(UpdateOutcome(i)));
    if (garbled)
        parts << QStringLiteral("%1 with a failure report garbled into another status").arg(garbled);
    return QStringLiteral("outcomes: ") + parts.join(QStringLiteral(", "));
}

int Campaign::Summary::lossBand(const LinkFaults::Rates &rates)
{
    const double loss = std::max(rates.lose, rates.loseCommand);
    if (loss <= 0)
        return 0;
    int band = 1;
    while (band < LossBands - 1 && loss >= LossBandEnds[std::size_t(band - 1)])
        ++band;
    return band;
}

QString Campaign::Summary::lossLine() const
{
    QStringList parts;
    for (std::size_t i = 0; i < byLoss.size(); ++i) {
        const Band &band = byLoss[i];
        parts << QStringLiteral("%1 %2/%3 (%4 %)").arg(QLatin1String(LossBandNames[i])).arg(band.successes)
                     .arg(band.runs).arg(band.runs ? 100.0 * band.successes / band.runs : 0.0, 0, 'f', 1);
    }
    return QStringLiteral("successes by loss rate: ") + parts.join(QStringLiteral(", "));
}
