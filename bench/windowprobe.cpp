#include "windowprobe.h"

#include <QCoreApplication>
#include <QMouseEvent>

#include <algorithm>

namespace {

constexpr std::chrono::milliseconds Interval{10};

WindowProbe::Duration since(std::chrono::steady_clock::time_point then)
{
    return std::chrono::duration_cast<WindowProbe::Duration>(std::chrono::steady_clock::now() - then);
}

WindowProbe::Duration percentile99(std::vector<WindowProbe::Duration> samples)
{
    if (samples.empty())
        return {};
    const std::size_t at = samples.size() * 99 / 100;
    std::nth_element(samples.begin(), samples.begin() + std::ptrdiff_t(at), samples.end());
    return samples[at];
}

WindowProbe::Duration worst(const std::vector<WindowProbe::Duration> &samples)
{
    return samples.empty() ? WindowProbe::Duration{} : *std::max_element(samples.begin(), samples.end());
}

} // namespace

WindowProbe::WindowProbe(QWidget *widget)
    : target(widget)
{
    timer.setTimerType(Qt::PreciseTimer);
    timer.setInterval(Interval);
    connect(&timer, &QTimer::timeout, this, &WindowProbe::poke);
}

void WindowProbe::start()
{
    repaints.clear();
    clicks.clear();
    repaintPending = clickPending = false;
    if (target)
        target->installEventFilter(this);
    timer.start();
}

void WindowProbe::stop()
{
    timer.stop();
    // A request never served counts with the wait it has had so far.
    if (repaintPending)
        repaints.push_back(since(repaintAsked));
    if (clickPending)
        clicks.push_back(since(clickPosted));
    repaintPending = clickPending = false;
    if (target)
        target->removeEventFilter(this);
}

WindowProbe::Figures WindowProbe::figures() const
{
    Figures f;
    f.samples = int(std::min(repaints.size(), clicks.size()));
    f.repaintWorst = worst(repaints);
    f.repaintP99 = percentile99(repaints);
    f.clickWorst = worst(clicks);
    f.clickP99 = percentile99(clicks);
    return f;
}

bool WindowProbe::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == target) {
        if (event->type() == QEvent::Paint && repaintPending) {
            repaints.push_back(since(repaintAsked));
            repaintPending = false;
        } else if (event->type() == QEvent::MouseButtonPress && clickPending) {
            clicks.push_back(since(clickPosted));
            clickPending = false;
        }
    }
    return QObject::eventFilter(watched, event);
}

void WindowProbe::poke()
{
    if (!target)
        return;
    // A request still waiting is measured from its own start, not restarted.
    if (!repaintPending) {
        repaintAsked = std::chrono::steady_clock::now();
        repaintPending = true;
        target->update();
    }
    if (!clickPending) {
        clickPosted = std::chrono::steady_clock::now();
        clickPending = true;
        const QPointF at(target->width() / 2.0, target->height() / 2.0);
        const QPointF global = target->mapToGlobal(at);
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonPress, at, global, Qt::LeftButton,
                                                            Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(target, new QMouseEvent(QEvent::MouseButtonRelease, at, global, Qt::LeftButton,
                                                            Qt::NoButton, Qt::NoModifier));
    }
}
