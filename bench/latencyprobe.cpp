#include "latencyprobe.h"

#include <QCoreApplication>
#include <QEvent>

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds Interval{10};

LatencyProbe::Duration since(std::chrono::steady_clock::time_point then)
{
    return std::chrono::duration_cast<LatencyProbe::Duration>(std::chrono::steady_clock::now() - then);
}

// The value below which 99 % of the samples lie; zero without samples.
LatencyProbe::Duration percentile99(std::vector<LatencyProbe::Duration> samples)
{
    if (samples.empty())
        return {};
    const std::size_t at = samples.size() * 99 / 100;
    std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(at), samples.end());
    return samples[at];
}

// Carries its own posting time, so a slow delivery is never measured from a later post.
class ProbeEvent : public QEvent
{
public:
    explicit ProbeEvent(QEvent::Type type) : QEvent(type) {}
    const std::chrono::steady_clock::time_point posted = std::chrono::steady_clock::now();
};

LatencyProbe::Duration worst(const std::vector<LatencyProbe::Duration> &samples)
{
    return samples.empty() ? LatencyProbe::Duration{} : *std::max_element(samples.begin(), samples.end());
}

} // namespace

const int LatencyProbe::ProbeType = QEvent::registerEventType();

LatencyProbe::LatencyProbe()
{
    // Re-armed by hand each time, so every sample is measured from its own start.
    timer.setSingleShot(true);
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(Interval);
    connect(&timer, &QTimer::timeout, this, &LatencyProbe::onTimeout);
}

void LatencyProbe::start()
{
    timerLateness.clear();
    eventWaits.clear();
    arm();
}

void LatencyProbe::stop()
{
    timer.stop();
}

LatencyProbe::Figures LatencyProbe::figures() const
{
    Figures f;
    f.samples = int(timerLateness.size());
    f.timerWorst = worst(timerLateness);
    f.timerP99 = percentile99(timerLateness);
    f.eventWorst = worst(eventWaits);
    f.eventP99 = percentile99(eventWaits);
    return f;
}

bool LatencyProbe::event(QEvent *e)
{
    if (e->type() != QEvent::Type(ProbeType))
        return QObject::event(e);
    eventWaits.push_back(since(static_cast<ProbeEvent *>(e)->posted));
    return true;
}

void LatencyProbe::onTimeout()
{
    timerLateness.push_back(std::max(Duration{}, since(armed) - Interval));
    QCoreApplication::postEvent(this, new ProbeEvent(QEvent::Type(ProbeType)));
    arm();
}

void LatencyProbe::arm()
{
    armed = std::chrono::steady_clock::now();
    timer.start();
}
