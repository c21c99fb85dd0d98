#include "replytimer.h"

#include <algorithm>

namespace {

// The share of answers that must come within the measure the time-out is a multiple of.
constexpr int PercentileNumerator = 99;
constexpr int PercentileDenominator = 100;

} // namespace

int ReplyTimer::timeoutFor(Command command) const
{
    const Times &own = byCommand[std::size_t(command) % Commands];
    if (own.samples >= MinSamples)
        return own.timeout;
    return pooled.samples >= MinSamples ? pooled.timeout : CeilingTicks;
}

void ReplyTimer::record(Command command, int ticks)
{
    ticks = std::clamp(ticks, 0, CeilingTicks);
    add(byCommand[std::size_t(command) % Commands], ticks);
    add(pooled, ticks);
}

void ReplyTimer::add(Times &times, int ticks)
{
    ++times.counts[std::size_t(ticks)];
    ++times.samples;
    times.longest = std::max(times.longest, ticks);
    // The high percentile, found from the short end: answers take few ticks.
    const int wanted = (times.samples * PercentileNumerator + PercentileDenominator - 1) / PercentileDenominator;
    int seen = 0;
    int percentile = 0;
    for (; percentile < times.longest; ++percentile) {
        seen += times.counts[std::size_t(percentile)];
        if (seen >= wanted)
            break;
    }
    // An answer counted as n ticks may have taken almost n + 1.
    times.timeout = std::clamp(Multiplier * (percentile + 1), FloorTicks, CeilingTicks);
}
