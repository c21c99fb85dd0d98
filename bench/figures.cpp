#include "figures.h"

#include <QSysInfo>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace Figures {

double seconds(std::chrono::nanoseconds time)
{
    return std::chrono::duration<double>(time).count();
}

double perExchangeUs(std::chrono::nanoseconds time, int exchanges)
{
    return exchanges > 0 ? std::chrono::duration<double, std::micro>(time).count() / exchanges : 0.0;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    const auto middle = values.begin() + std::ptrdiff_t((values.size() - 1) / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

QString machine()
{
    return QStringLiteral("%1 %2, %3 cores, %4, Qt %5")
        .arg(QSysInfo::currentCpuArchitecture(), QSysInfo::kernelVersion())
        .arg(QThread::idealThreadCount())
        .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()));
}

QString verdict(double value, double ceiling)
{
    return value <= ceiling ? QStringLiteral("met") : QStringLiteral("MISSED");
}

QString ratioSummary(const std::vector<double> &ratios, double ceiling)
{
    if (ratios.empty())
        return QStringLiteral("no ratio");
    const auto [low, high] = std::minmax_element(ratios.begin(), ratios.end());
    return QStringLiteral("median %1, from %2 to %3 (target <= %4: %5)")
        .arg(median(ratios), 0, 'f', 3)
        .arg(*low, 0, 'f', 3)
        .arg(*high, 0, 'f', 3)
        .arg(ceiling)
        .arg(verdict(median(ratios), ceiling));
}

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

} // namespace Figures
