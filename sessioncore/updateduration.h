#pragma once

#include "phrase.h"

#include <cstdint>

// How long an update takes, and the phrases that say so.
namespace UpdateDuration {

// Command-and-reply exchanges an image of `imageBytes` costs: 35 per page,
// one erase per block, and the reset and the search for the bad-block list.
// Reading every page back costs 32 more per page.
std::int64_t exchanges(std::int64_t imageBytes, bool verify = false);
// Expected length of an update when one exchange takes `roundTripUs`.
std::int64_t expectedMs(std::int64_t roundTripUs, std::int64_t imageBytes, bool verify = false);
// "a few seconds", "about 40 s" or "about 4 min", for the question before
// writing: tens of seconds under two minutes, whole minutes from there.
Phrase expectedText(std::int64_t ms);
// Time left as the status line shows it, rounded the same way, so that it
// does not flicker.
Phrase remainingText(std::int64_t ms);
// The question asked before writing: both versions (a downgrade named as
// one), the expected duration, and that the device must stay connected.
Phrase confirmation(std::uint32_t deviceVersion, std::int64_t expectedMs);

} // namespace UpdateDuration
