#pragma once

#include "campaignrun.h"

#include <QString>

#include <array>
#include <cstdint>
#include <functional>

// Many seeded runs in a row and their tally.
class Campaign
{
public:
    struct Summary
    {
        std::uint32_t seed = 0;
        SimDevice::ReadReach reach = SimDevice::ReadReach::WholeFlash;
        int runs = 0;
        int successes = 0;
        int cleanFailures = 0;
        int violations = 0;
        int garbled = 0;  // runs whose image was not judged (RunReport::statusGarbled)
        std::array<int, int(UpdateOutcome::ListLost) + 1> outcomes{};
        // Runs and successes by the rate of lost messages, the larger of
        // commands and replies: none, below 1e-4, below 1e-3, up to 1e-2.
        struct Band
        {
            int runs = 0;
            int successes = 0;
        };
        static constexpr int LossBands = 4;
        std::array<Band, LossBands> byLoss{};
        qint64 milliseconds = 0;
        std::int64_t messages = 0;

        // The one closing line: runs, successes, clean failures, violations.
        QString line() const;
        // How the clean failures ended, by outcome.
        QString outcomeLine() const;
        // The success rate of each loss band.
        QString lossLine() const;
        static int lossBand(const LinkFaults::Rates &rates);
    };

    Campaign(std::uint32_t seed, int runs, SimDevice::ReadReach reach = SimDevice::ReadReach::WholeFlash);

    static QString outcomeName(UpdateOutcome outcome);
    // Seed of run `index`: the campaign's seed and the index, mixed.
    static std::uint32_t runSeed(std::uint32_t seed, int index);
    // Called after every run, for progress and for reporting violations.
    std::function<void(const Scenario &, const RunReport &)> onRun;

    Summary run();

private:
    std::uint32_t seed;
    int runs;
    SimDevice::ReadReach reach;
};
