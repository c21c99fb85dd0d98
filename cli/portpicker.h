#pragma once

#include "exitcode.h"

#include <QString>
#include <QStringList>

// Picks one port from a list by what the user typed.
namespace PortPicker {

struct Pick
{
    int index = -1;
    ExitCode failure = ExitSuccess;  // ExitUsage or ExitNoDevice when index is -1
    QString error;
};

// `wanted` is a port number or part of a name (case does not matter; a name
// matched whole wins over names that merely contain it). Empty `wanted` takes
// the port that looks like a Qel, or the only port there is. `direction` names
// the list in messages ("MIDI IN").
Pick pick(const QStringList &names, const QString &wanted, const QString &direction);

} // namespace PortPicker
