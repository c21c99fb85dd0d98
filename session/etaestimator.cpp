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
        window.push_back(stretch);
        windowMs += stretch.ms;
        windowPages += stretch.pages;
        while (windowPages - window.front().pages >= WindowPages) {
            windowMs -= window.front().ms;
            windowPages -= window.front().pages;
            window.pop_front();
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
