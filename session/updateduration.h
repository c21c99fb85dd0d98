#pragma once

#include <QString>
#include <QtGlobal>

#include <cstdint>

// How long an update takes, and the texts that say so.
namespace UpdateDuration {

// Command-and-reply exchanges an image of `imageBytes` costs: 35 per page,
// one erase per block, and the reset and the search for the bad-block list.
// Reading every page back costs 32 more per page.
qint64 exchanges(qint64 imageBytes, bool verify = false);
// Expected length of an update when one exchange takes `roundTripUs`.
qint64 expectedMs(qint64 roundTripUs, qint64 imageBytes, bool verify = false);
// "a few seconds", "about 40 s" or "about 4 min", for the question before
// writing: tens of seconds under two minutes, whole minutes from there.
QString expectedText(qint64 ms);
// Time left as the status line shows it, rounded the same way, so that it
// does not flicker.
QString remainingText(qint64 ms);
// The question asked before writing: both versions (a downgrade named as
// one), the expected duration, and that the device must stay connected.
QString confirmation(std::uint32_t deviceVersion, qint64 expectedMs);

} // namespace UpdateDuration
