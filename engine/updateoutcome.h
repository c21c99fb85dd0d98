#pragma once

// How an update ended.
enum class UpdateOutcome {
    Success,
    NoImage,              // there was no image to write
    FlashUnhealthy,       // more than 3 factory defects
    NoSpace,              // no good block left for the image
    ListWriteFailed,      // the closing copy of the bad-block list failed to program; an older copy stands
    FirstListWriteFailed, // the first copy on a new flash failed; no firmware written
    ListUnreadable,       // the device's answers about the list never agreed
    FlashWornOut,         // written, but more blocks went bad than the list can hold
    DeviceSilent,         // the device stopped answering
    Stalled,              // answers kept getting lost at the same place
    PortLost,             // the MIDI port refused a message
    PortGone,             // the MIDI port disappeared from the system's list
    Cancelled,            // the user stopped it
    NotVerified,          // written, but the device cannot read its pages back for the asked-for check
    ListLost,             // block 0 was erased and no copy of the list could be stored in it
};

// The outcome as scripts read it (the command line's JSON, the browser's C
// interface): "success", "not_verified", "device_silent", ...
const char *outcomeName(UpdateOutcome outcome);
