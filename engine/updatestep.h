#pragma once

// Where the update sequence stands; each step names the reply it waits for.
enum UpdateStep : int {
    StepIdle = 0,
    StepFindBbl = 1,
    StepReadBbl = 2,
    StepReadDefects = 3,
    StepEraseBlock = 4,
    StepEraseBblBlock = 5,
    StepBeginPage = 6,
    StepSendPage = 7,
    StepProgramPage = 8,
    StepBeginBblCopy = 9,
    StepSendBblCopy = 10,
    StepProgramBblCopy = 11,
    StepBeginFirstBbl = 12,
    StepSendFirstBbl = 13,
    StepProgramFirstBbl = 14,
    // Block 0 has no free page for a closing copy: it is erased and the copy
    // goes to its page 0.
    StepEraseBblForCopy = 15,
    // Reading a written page back, piece by piece, to compare it with what
    // was sent.
    StepCheckPage = 16,
    // Finish went out: waiting for the device's report that the transfer is off.
    StepFinish = 17,
};

// How an update ended.
enum class UpdateOutcome {
    Success,
    NoImage,              // there was no image to write
    FlashUnhealthy,       // more than 3 factory defects
    NoSpace,              // no good block left for the image
    ListWriteFailed,      // the closing copy of the bad-block list failed to program
    FirstListWriteFailed, // the first copy on a new flash failed; no firmware written
    ListUnreadable,       // the device's answers about the list never agreed
    FlashWornOut,         // written, but more blocks went bad than the list can hold
    DeviceSilent,         // the device stopped answering
    Stalled,              // answers kept getting lost at the same place
    PortLost,             // the MIDI port refused a message
    PortGone,             // the MIDI port disappeared from the system's list
    Cancelled,            // the user stopped it
};
