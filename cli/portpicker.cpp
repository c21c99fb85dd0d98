#include "portpicker.h"

#include "portchoice.h"
#include "texts.h"

#include <QCoreApplication>

namespace {

PortPicker::Pick failed(ExitCode code, const QString &error)
{
    return {-1, code, error};
}

QString quoted(const QStringList &names)
{
    QStringList list;
    for (const QString &name : names)
        list << QLatin1Char('"') + name + QLatin1Char('"');
    return list.join(QStringLiteral(", "));
}

} // namespace

PortPicker::Pick PortPicker::pick(const QStringList &names, const QString &wanted, const QString &direction)
{
    if (names.isEmpty())
        return failed(ExitNoDevice, Texts::tr("No %1 port found.").arg(direction));

    const QString text = wanted.trimmed();
    if (text.isEmpty()) {
        for (int i = 0; i < names.size(); ++i) {
            if (PortChoice::looksLikeDevice(names.at(i)))
                return {i, ExitSuccess, {}};
        }
        if (names.size() == 1)
            return {0, ExitSuccess, {}};
        return failed(ExitUsage, Texts::tr("No %1 port looks like a Qel; choose one of %2.").arg(direction, quoted(names)));
    }

    bool isNumber = false;
    const int number = text.toInt(&isNumber);
    if (isNumber) {
        if (number >= 0 && number < names.size())
            return {number, ExitSuccess, {}};
        return failed(ExitUsage, Texts::tr("There is no %1 port %2; the ports are numbered 0 to %3.")
                                     .arg(direction, text)
                                     .arg(names.size() - 1));
    }

    QList<int> matches;
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).compare(text, Qt::CaseInsensitive) == 0)
            return {i, ExitSuccess, {}};
        if (names.at(i).contains(text, Qt::CaseInsensitive))
            matches << i;
    }
    if (matches.size() == 1)
        return {matches.constFirst(), ExitSuccess, {}};
    if (matches.isEmpty())
        return failed(ExitUsage, Texts::tr("No %1 port matches \"%2\"; the ports are %3.").arg(direction, text, quoted(names)));
    QStringList matching;
    for (int i : std::as_const(matches))
        matching << names.at(i);
    return failed(ExitUsage, Texts::tr("\"%1\" matches several %2 ports: %3. Give more of the name, or the number.")
                                 .arg(text, direction, quoted(matching)));
}
