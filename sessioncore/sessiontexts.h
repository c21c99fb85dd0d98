#pragma once

#include "enginelistener.h"
#include "phrase.h"

#include <cstdint>

// The words for what a session reports: trace lines as the log shows them,
// endings and the state after an update as the user reads them. Phrases, so
// that the desktop and the page put them into the user's language from one
// catalogue.
namespace SessionTexts {

// The log's line; most are the device maker's own and stay untranslated.
Phrase traceLine(const TraceLine &line);
// How an update ended. A success says only that the image was written:
// whether the device runs it is known once it answers Identify.
Phrase outcomeMessage(const Ending &ending);
// What every view says when Connect had no answer after asking again.
Phrase noAnswer();
// After a success: the device reports the carried version now, or not (yet).
Phrase nowCarries(std::uint32_t version);
Phrase startsAfterPowerCycle();
// The image built in is not the one whose digest was taken at build time.
Phrase imageDamaged();

} // namespace SessionTexts
