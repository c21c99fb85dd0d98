#include "etaestimator.h"

void EtaEstimator::reset()
{
    *this = EtaEstimator();
}

void EtaEstimator::addSample(qint64 elapsedMs, int pagesDone, int pagesTotal)
{
    total = pagesTotal;
    if (started && pagesDone > lastDone && elapsedMs >= lastMs) {
        const Stretch stretch{elapsedMs - lastMs, pagesDone - lastDone};
        const int size = int(window.size());
        window[(first + count) % size] = stretch;
        ++count;
        windowMs += stretch.ms;
        windowPages += stretch.pages;
        while (windowPages - window[first].pages >= WindowPages) {
            windowMs -= window[first].ms;
            windowPages -= window[first].pages;
            first = (first + 1) % size;
            --count;
        }
    }
    started = true;
    lastMs = elapsedMs;
    lastDone = pagesDone;
}

qint64 EtaEstimator::remainingMs() const
{
    if (windowPages == 0)
        return Unknown;
    const qint64 pagesLeft = qMax(0, total - lastDone);
    return pagesLeft * windowMs / windowPages;
}
