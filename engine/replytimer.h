#pragma once

#include "sysex.h"

#include <array>

// How long to wait for an answer before calling it lost: a multiple of what
// answers of the same command took so far, so that a loss on a fast link
// costs tens of milliseconds, not seconds. Counted in the engine's ticks.
class ReplyTimer
{
public:
    static constexpr int TickMs = 10;
    static constexpr int FloorTicks = 5;      // 50 ms: well above the slowest answer, an erase
    static constexpr int CeilingTicks = 250;  // 2.5 s, also the wait before anything is known
    static constexpr int Multiplier = 4;
    static constexpr int MinSamples = 8;      // fewer: the times of all commands stand in

    // Ticks to wait for the answer to `command`.
    int timeoutFor(Command command) const;
    // The answer to `command` came `ticks` after it was sent.
    void record(Command command, int ticks);

private:
    struct Times
    {
        std::array<int, CeilingTicks + 1> counts{};
        int samples = 0;
        int longest = 0;
        int timeout = CeilingTicks;
    };
    static constexpr std::size_t Commands = 16;

    static void add(Times &times, int ticks);

    std::array<Times, Commands> byCommand{};
    Times pooled;
};
