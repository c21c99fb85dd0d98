#include "updateduration.h"

#include "firmwareversion.h"
#include "pageframe.h"
#include "translatenoop.h"
#include "updateengine.h"

#include <algorithm>
#include <string>

namespace {

constexpr std::int64_t ExchangesPerPage = 1 + PageFrame::Pieces + 1;  // BeginPage, pieces, ProgramPage
constexpr std::int64_t ReadBackPerPage = PageFrame::Chunks * 4;         // ReadChunk, four pieces a chunk
// ResetNand, probing block 0, reading the newest list copy twice, and the
// probe after it.
constexpr std::int64_t SetupExchanges = 16;
constexpr std::int64_t MsPerSecond = 1000;
constexpr std::int64_t UsPerMs = 1000;
constexpr std::int64_t SecondsPerMinute = 60;
constexpr std::int64_t FewSeconds = 5;
constexpr std::int64_t SecondsStep = 10;                      // under two minutes: tens of seconds
constexpr std::int64_t MinutesFrom = 2 * SecondsPerMinute;   // from there: whole minutes

// A duration as it is said: a few seconds, tens of seconds, or whole minutes,
// never "2 min 0 s".
struct Spoken
{
    enum Unit { Few, Seconds, Minutes } unit;
    std::int64_t count;
};

std::int64_t roundDiv(std::int64_t a, std::int64_t b) { return (a + b / 2) / b; }

Spoken spoken(std::int64_t ms)
{
    const std::int64_t seconds = roundDiv(std::max<std::int64_t>(0, ms), MsPerSecond);
    if (seconds < FewSeconds)
        return {Spoken::Few, 0};
    const std::int64_t tens = std::max(SecondsStep, roundDiv(seconds, SecondsStep) * SecondsStep);
    if (tens < MinutesFrom)
        return {Spoken::Seconds, tens};
    return {Spoken::Minutes, roundDiv(seconds, SecondsPerMinute)};
}

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

Phrase number(std::int64_t n) { return Phrase::plain(std::to_string(n)); }

} // namespace

std::int64_t UpdateDuration::exchanges(std::int64_t imageBytes, bool verify)
{
    const std::int64_t pages = ceilDiv(std::max<std::int64_t>(0, imageBytes), PageFrame::DataSize);
    const std::int64_t blocks = ceilDiv(pages, UpdateEngine::PagesPerBlock);
    return pages * (ExchangesPerPage + (verify ? ReadBackPerPage : 0)) + blocks + SetupExchanges;
}

std::int64_t UpdateDuration::expectedMs(std::int64_t roundTripUs, std::int64_t imageBytes, bool verify)
{
    return std::max<std::int64_t>(0, roundTripUs) * exchanges(imageBytes, verify) / UsPerMs;
}

Phrase UpdateDuration::expectedText(std::int64_t ms)
{
    const Spoken d = spoken(ms);
    switch (d.unit) {
    case Spoken::Few: return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "a few seconds"));
    case Spoken::Seconds: return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "about %1 s"), {number(d.count)});
    case Spoken::Minutes: break;
    }
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "about %1 min"), {number(d.count)});
}

Phrase UpdateDuration::remainingText(std::int64_t ms)
{
    const Spoken d = spoken(ms);
    switch (d.unit) {
    case Spoken::Few: return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "a few seconds left"));
    case Spoken::Seconds: return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "about %1 s left"), {number(d.count)});
    case Spoken::Minutes: break;
    }
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "about %1 min left"), {number(d.count)});
}

Phrase UpdateDuration::confirmation(std::uint32_t deviceVersion, std::int64_t expectedMs)
{
    const Phrase device = Phrase::plain(FirmwareVersion::text(deviceVersion));
    const Phrase ours = Phrase::plain(FirmwareVersion::text(FirmwareVersion::carried()));
    Phrase question;
    switch (FirmwareVersion::compareWithCarried(deviceVersion)) {
    case FirmwareVersion::Order::Older:
        question = Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "Update the Qel from firmware %1 to %2?"), {device, ours});
        break;
    case FirmwareVersion::Order::Same:
        question = Phrase::text(
            QT_TRANSLATE_NOOP("MainWindow", "The Qel already runs firmware %1. Write firmware %2 again?"), {device, ours});
        break;
    case FirmwareVersion::Order::Newer:
        question = Phrase::text(
            QT_TRANSLATE_NOOP("MainWindow", "The Qel runs firmware %1, which is newer than %2. Downgrade it to %2?"),
            {device, ours});
        break;
    }
    return Phrase::joined(
        {question, Phrase::plain("\n\n"),
         Phrase::text(QT_TRANSLATE_NOOP("MainWindow",
                                        "This takes %1. The Qel must stay connected and powered until the update has "
                                        "finished; an interrupted update leaves it unable to start."),
                      {expectedText(expectedMs)})});
}
