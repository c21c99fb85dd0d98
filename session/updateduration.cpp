#include "updateduration.h"

#include "firmwareversion.h"
#include "pageframe.h"
#include "texts.h"
#include "updateengine.h"

#include <QCoreApplication>

namespace {

constexpr qint64 ExchangesPerPage = 1 + PageFrame::Pieces + 1;  // BeginPage, pieces, ProgramPage
constexpr qint64 ReadBackPerPage = PageFrame::Chunks * 4;         // ReadChunk, four pieces a chunk
// ResetNand, probing block 0, reading the newest list copy twice, and the
// probe after it.
constexpr qint64 SetupExchanges = 16;
constexpr qint64 MsPerSecond = 1000;
constexpr qint64 UsPerMs = 1000;
constexpr qint64 SecondsPerMinute = 60;
constexpr qint64 FewSeconds = 5;
constexpr qint64 SecondsStep = 10;                      // under two minutes: tens of seconds
constexpr qint64 MinutesFrom = 2 * SecondsPerMinute;   // from there: whole minutes

// A duration as it is said: a few seconds, tens of seconds, or whole minutes,
// never "2 min 0 s".
struct Spoken
{
    enum Unit { Few, Seconds, Minutes } unit;
    qint64 count;
};

qint64 roundDiv(qint64 a, qint64 b) { return (a + b / 2) / b; }

Spoken spoken(qint64 ms)
{
    const qint64 seconds = roundDiv(qMax<qint64>(0, ms), MsPerSecond);
    if (seconds < FewSeconds)
        return {Spoken::Few, 0};
    const qint64 tens = qMax(SecondsStep, roundDiv(seconds, SecondsStep) * SecondsStep);
    if (tens < MinutesFrom)
        return {Spoken::Seconds, tens};
    return {Spoken::Minutes, roundDiv(seconds, SecondsPerMinute)};
}

qint64 ceilDiv(qint64 a, qint64 b) { return (a + b - 1) / b; }

} // namespace

qint64 UpdateDuration::exchanges(qint64 imageBytes, bool verify)
{
    const qint64 pages = ceilDiv(qMax<qint64>(0, imageBytes), PageFrame::DataSize);
    const qint64 blocks = ceilDiv(pages, UpdateEngine::PagesPerBlock);
    return pages * (ExchangesPerPage + (verify ? ReadBackPerPage : 0)) + blocks + SetupExchanges;
}

qint64 UpdateDuration::expectedMs(qint64 roundTripUs, qint64 imageBytes, bool verify)
{
    return qMax<qint64>(0, roundTripUs) * exchanges(imageBytes, verify) / UsPerMs;
}

QString UpdateDuration::expectedText(qint64 ms)
{
    const Spoken d = spoken(ms);
    switch (d.unit) {
    case Spoken::Few: return Texts::tr("a few seconds");
    case Spoken::Seconds: return Texts::tr("about %1 s").arg(d.count);
    case Spoken::Minutes: break;
    }
    return Texts::tr("about %1 min").arg(d.count);
}

QString UpdateDuration::remainingText(qint64 ms)
{
    const Spoken d = spoken(ms);
    switch (d.unit) {
    case Spoken::Few: return Texts::tr("a few seconds left");
    case Spoken::Seconds: return Texts::tr("about %1 s left").arg(d.count);
    case Spoken::Minutes: break;
    }
    return Texts::tr("about %1 min left").arg(d.count);
}

QString UpdateDuration::confirmation(std::uint32_t deviceVersion, qint64 expectedMs)
{
    const QString device = FirmwareVersion::text(deviceVersion);
    const QString ours = FirmwareVersion::text(FirmwareVersion::carried());
    QString question;
    switch (FirmwareVersion::compareWithCarried(deviceVersion)) {
    case FirmwareVersion::Order::Older:
        question = Texts::tr("Update the Qel from firmware %1 to %2?").arg(device, ours);
        break;
    case FirmwareVersion::Order::Same:
        question = Texts::tr("The Qel already runs firmware %1. Write firmware %2 again?").arg(device, ours);
        break;
    case FirmwareVersion::Order::Newer:
        question = Texts::tr("The Qel runs firmware %1, which is newer than %2. Downgrade it to %2?").arg(device, ours);
        break;
    }
    return question + QStringLiteral("\n\n")
        + Texts::tr("This takes %1. The Qel must stay connected and powered until the update has "
             "finished; an interrupted update leaves it unable to start.")
              .arg(expectedText(expectedMs));
}
