#include "portchoice.h"

namespace {

const QString DeviceName = QStringLiteral("Qel");

} // namespace

bool PortChoice::looksLikeDevice(const QString &name)
{
    return name.contains(DeviceName, Qt::CaseInsensitive);
}

int PortChoice::rowFor(const QStringList &names, const QString &selected)
{
    if (names.isEmpty())
        return -1;
    if (!selected.isEmpty()) {
        const int kept = int(names.indexOf(selected));
        if (kept >= 0)
            return kept;
    }
    for (int i = 0; i < names.size(); ++i) {
        if (looksLikeDevice(names.at(i)))
            return i;
    }
    return 0;
}
