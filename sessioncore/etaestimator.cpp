#include "etaestimator.h"

#include <algorithm>

void EtaEstimator::reset()
{
    *this = EtaEstimator();
}

void EtaEstimator::addSample(std::int64_t elapsedMs, int pagesDone, int pagesTotal)
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

std::int64_t EtaEstimator::remainingMs() const
{
    if (windowPages == 0)
        return Unknown;
    const std::int64_t pagesLeft = std::max(0, total - lastDone);
    return pagesLeft * windowMs / windowPages;
}
