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
constexpr qint64 FineSeconds = 5;      // under a minute: steps of 5 s
constexpr qint64 MediumSeconds = 10;   // under ten minutes: steps of 10 s
constexpr qint64 CoarseFrom = 10 * SecondsPerMinute;

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
    const qint64 minutes = ceilDiv(qMax<qint64>(0, ms), SecondsPerMinute * MsPerSecond);
    if (minutes <= 1)
        return Texts::tr("less than a minute");
    return Texts::tr("about %1 min").arg(minutes);
}

QString UpdateDuration::remainingText(qint64 ms)
{
    const qint64 seconds = ceilDiv(qMax<qint64>(0, ms), MsPerSecond);
    if (seconds < FewSeconds)
        return Texts::tr("a few seconds left");
    if (seconds < SecondsPerMinute)
        return Texts::tr("about %1 s left").arg(ceilDiv(seconds, FineSeconds) * FineSeconds);
    if (seconds < CoarseFrom) {
        const qint64 rounded = ceilDiv(seconds, MediumSeconds) * MediumSeconds;
        return Texts::tr("about %1 min %2 s left").arg(rounded / SecondsPerMinute).arg(rounded % SecondsPerMinute);
    }
    return Texts::tr("about %1 min left").arg((seconds + SecondsPerMinute / 2) / SecondsPerMinute);
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
