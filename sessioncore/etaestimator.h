#pragma once

#include <cstdint>

#include <array>

// Estimates how long an update has left from the rate at which pages were
// programmed lately. Fed the progress reports with the time they arrived.
class EtaEstimator
{
public:
    // One block: its erase weighs in evenly, and a slow page only moves the
    // estimate by a sixty-fourth.
    static constexpr int WindowPages = 64;
    static constexpr std::int64_t Unknown = -1;

    void reset();
    // `pagesDone` of `pagesTotal` were programmed `elapsedMs` after the start.
    // Fewer pages than last time (a block written again elsewhere) only
    // moves the starting point of the next measurement.
    void addSample(std::int64_t elapsedMs, int pagesDone, int pagesTotal);
    // Milliseconds left as of the last sample, or Unknown before a rate exists.
    std::int64_t remainingMs() const;

private:
    struct Stretch
    {
        std::int64_t ms;
        int pages;
    };

    // Every stretch holds a page or more, so the window never holds more
    // than this many; a fixed ring, as samples come on the reply path.
    std::array<Stretch, WindowPages + 1> window{};
    int first = 0;
    int count = 0;
    std::int64_t windowMs = 0;
    int windowPages = 0;
    std::int64_t lastMs = 0;
    int lastDone = 0;
    int total = 0;
    bool started = false;
};
