#pragma once

#include "scenario.h"

#include <QStringList>

// Cuts an update after each exchange in turn, as a power cut would (the
// device keeps its flash, nothing else), then runs a fresh update on the
// same flash, which must succeed and leave the exact image and a valid list.
class InterruptSweep
{
public:
    struct Result
    {
        int exchanges = 0;  // of the update run without a cut
        int cuts = 0;
        QStringList failures;  // one line per cut whose fresh update went wrong
    };

    // The scenario's flash and flash faults are used; its link faults are not.
    explicit InterruptSweep(Scenario scenario);
    Result run();

private:
    Scenario scenario;
};
