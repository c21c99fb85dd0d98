#pragma once

#include "discovery.h"
#include "updatesession.h"

#include <QJsonObject>
#include <QString>

#include <cstdint>

struct FirmwareImage;

// The events of --json, one object each, for scripts and service benches.
// Keys and outcome names are not translated; messages are, as on the screen.
namespace JsonEvents {

// In every event as "schema"; raised when a key changes meaning or goes away
// (new keys and events keep it).
constexpr int SchemaVersion = 1;

// Stable names of how a device's run ended, for scripts to test.
QString outcomeName(UpdateOutcome outcome);
// Runs the command line ends before any update: the ports would not open,
// or the device did not answer Identify.
inline QString portsUnavailable() { return QStringLiteral("ports_unavailable"); }
inline QString noAnswer() { return QStringLiteral("no_answer"); }

// `path` empty: the built-in image, named by its version; else the file.
QJsonObject image(const FirmwareImage &image, const QString &path);
QJsonObject port(bool input, int index, const QString &name);
QJsonObject found(const FoundDevice &device);
QJsonObject connected(const QString &serial, std::uint32_t firmwareVersion, const QString &inName,
                      const QString &outName);
QJsonObject progress(const QString &serial, const UpdateSession::Progress &progress);
QJsonObject trace(const QString &serial, const QString &line);
QJsonObject finished(const QString &serial, const QString &outcome, const QString &message);

} // namespace JsonEvents
