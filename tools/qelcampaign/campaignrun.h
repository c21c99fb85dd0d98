#pragma once

#include "scenario.h"
#include "updateoutcome.h"

#include <QStringList>

#include <optional>

// What one campaign run came to.
struct RunReport
{
    std::uint32_t seed = 0;
    std::optional<UpdateOutcome> outcome;  // nothing when the update never ended
    int ticks = 0;
    int messages = 0;
    int answersLost = 0;
    int pagesRestarted = 0;
    int blocksRestarted = 0;
    int readBackWrong = 0;
    // Broken invariants, one line each; empty for a sound run.
    QStringList violations;
    // A failure report of the device was garbled on the wire into another
    // well-formed status: no receiver can tell, so the image is not judged.
    bool statusGarbled = false;

    // The image was written as asked, checked where the device allows it.
    bool succeeded() const
    {
        return violations.isEmpty() && (outcome == UpdateOutcome::Success || outcome == UpdateOutcome::NotVerified);
    }
};

// Runs one complete update of a scenario against the simulated device and
// checks what it left against what it must leave.
class CampaignRun
{
public:
    // Ticks an update may take before it counts as hung: far more than its
    // lost answers cost (a few ticks each, a ceiling's wait at most).
    static constexpr int TickAllowancePerImageBlock = 300;
    static constexpr int TickAllowanceFixed = 5000;

    explicit CampaignRun(Scenario scenario);
    RunReport run();

private:
    Scenario scenario;
};
