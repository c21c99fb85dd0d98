#pragma once

#include "enginelistener.h"

#include <QString>

// The words for what the engine reports: trace lines as the log shows them,
// endings as the user reads them.
namespace SessionTexts {

QString traceLine(const TraceLine &line);
// The translated message for how an update ended.
QString outcomeMessage(const Ending &ending);
// What every view says when Connect had no answer after asking again.
QString noAnswer();

} // namespace SessionTexts
