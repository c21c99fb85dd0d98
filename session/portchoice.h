#pragma once

#include <QString>
#include <QStringList>

// Which MIDI port to select in a list of names: the one the user chose, if
// it is still there; else one whose name looks like the device's; else the
// first.
namespace PortChoice {

// Row to select in `names` for the previously selected `selected` (may be
// empty); -1 for an empty list.
int rowFor(const QStringList &names, const QString &selected);
// Whether a port name looks like the device's.
bool looksLikeDevice(const QString &name);

} // namespace PortChoice
