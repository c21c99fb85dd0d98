#include "progressline.h"

#include "texts.h"

#include <QCoreApplication>

namespace {

constexpr int Hundred = 100;
const QChar Filled = QLatin1Char('#');
const QChar Empty = QLatin1Char('-');

} // namespace

int ProgressLine::percent(int pagesDone, int pagesTotal)
{
    if (pagesTotal <= 0)
        return 0;
    return int(qBound(qint64(0), qint64(pagesDone) * Hundred / pagesTotal, qint64(Hundred)));
}

QString ProgressLine::render(int pagesDone, int pagesTotal, int block, int page, const QString &remaining)
{
    const int done = percent(pagesDone, pagesTotal);
    const int filled = done * BarWidth / Hundred;
    QString line = QLatin1Char('[') + QString(filled, Filled) + QString(BarWidth - filled, Empty)
        + QStringLiteral("] %1%").arg(done, 3);
    if (block >= 0 && page >= 0)
        line += QStringLiteral("  ") + Texts::tr("Block %1, page %2").arg(block).arg(page);
    if (!remaining.isEmpty())
        line += QStringLiteral("  ") + remaining;
    return line;
}

bool ProgressThrottle::pass(int pagesDone, int pagesTotal)
{
    const bool last = pagesDone >= pagesTotal;
    if (step <= 0) {
        if (clock.isValid() && !last && !clock.hasExpired(IntervalMs))
            return false;
        clock.start();
        return true;
    }
    const int now = ProgressLine::percent(pagesDone, pagesTotal) / step;
    if (now == lastStep)
        return false;
    lastStep = now;
    return true;
}
