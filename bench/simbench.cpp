#include "simbench.h"

#include "figures.h"
#include "headlessupdate.h"
#include "pageframe.h"
#include "simmidiservice.h"
#include "threadpingpong.h"

#include <algorithm>

using namespace Figures;

namespace {

constexpr double RatioCeiling = 1.25;
// One image block: long enough to time, short enough that the machine's load
// changes little between an update and the bare run beside it.
constexpr int SlicePages = 64;

std::optional<HeadlessUpdate::Result> simUpdate(const ImageFile &image)
{
    HeadlessUpdate update(std::make_unique<SimMidiService>());
    if (!update.openPorts(0, 0))
        return std::nullopt;
    HeadlessUpdate::Result result = update.run(image.path());
    if (result.outcome != UpdateOutcome::Success) {
        say(QStringLiteral("  the update failed: %1").arg(result.message));
        return std::nullopt;
    }
    return result;
}

void wholeUpdate(const ImageFile &image, ThreadPingPong &pingPong)
{
    const double memoryBefore = peakMemoryMiB();
    const auto update = simUpdate(image);
    if (!update)
        return;
    const double memoryAfter = peakMemoryMiB();
    const auto bare = pingPong.run(update->exchanges);
    say(QStringLiteral("  whole image: %1 s for %2 exchanges, %3 us/exchange, %4 messages in; "
                       "peak memory %5 MiB, %6 MiB of it grown during the update")
            .arg(seconds(update->elapsed), 0, 'f', 3)
            .arg(update->exchanges)
            .arg(perExchangeUs(update->elapsed, update->exchanges), 0, 'f', 2)
            .arg(update->received)
            .arg(memoryAfter, 0, 'f', 1)
            .arg(memoryAfter - memoryBefore, 0, 'f', 1));
    say(QStringLiteral("  bare ping-pong of as many exchanges: %1 s, %2 us/exchange; ratio %3")
            .arg(seconds(bare), 0, 'f', 3)
            .arg(perExchangeUs(bare, update->exchanges), 0, 'f', 2)
            .arg(seconds(update->elapsed) / seconds(bare), 0, 'f', 3));
}

// Pairs of an update of the first image block and a bare run of as many
// exchanges, in alternating order so that a drift in load favours neither.
// One service serves them all: its thread and flash are warm, as they are
// through most of a whole update.
void slicedUpdates(const ImageFile &image, ThreadPingPong &pingPong, int pairs)
{
    const ImageFile slice(image.bytes().left(qsizetype(SlicePages) * PageFrame::DataSize));
    if (!slice.isValid()) {
        say(QStringLiteral("  cannot write the one-block image"));
        return;
    }
    HeadlessUpdate update(std::make_unique<SimMidiService>());
    update.openPorts(0, 0);
    const int exchanges = update.run(slice.path()).exchanges;
    std::vector<double> updateUs, bareUs, ratios;
    for (int pair = 0; pair < pairs; ++pair) {
        const bool bareFirst = pair % 2 == 1;
        std::chrono::nanoseconds bare{};
        if (bareFirst)
            bare = pingPong.run(exchanges);
        const HeadlessUpdate::Result result = update.run(slice.path());
        if (!bareFirst)
            bare = pingPong.run(exchanges);
        if (result.outcome != UpdateOutcome::Success || result.exchanges != exchanges) {
            say(QStringLiteral("  a one-block update did not run as the first one did: %1").arg(result.message));
            return;
        }
        updateUs.push_back(perExchangeUs(result.elapsed, exchanges));
        bareUs.push_back(perExchangeUs(bare, exchanges));
        ratios.push_back(updateUs.back() / bareUs.back());
    }
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    say(QStringLiteral("  %1 pairs of %2 pages (%3 exchanges): update %4 us/exchange, bare %5 us/exchange "
                       "(medians); ratio %6, from %7 to %8 (target <= %9: %10)")
            .arg(pairs)
            .arg(SlicePages)
            .arg(exchanges)
            .arg(median(updateUs), 0, 'f', 2)
            .arg(median(bareUs), 0, 'f', 2)
            .arg(median(ratios), 0, 'f', 3)
            .arg(*low, 0, 'f', 3)
            .arg(*high, 0, 'f', 3)
            .arg(RatioCeiling)
            .arg(verdict(median(ratios), RatioCeiling)));
}

} // namespace

void runSimBench(const ImageFile &image, int pairs)
{
    say(QStringLiteral("\nThe update through the sim service, beside a bare cross-thread ping-pong"));
    ThreadPingPong pingPong;
    wholeUpdate(image, pingPong);
    slicedUpdates(image, pingPong, pairs);
}
