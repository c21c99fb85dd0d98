#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <vector>

// How long the GUI thread keeps the user waiting while it is busy: a 10 ms
// timer's lateness, and how long an event posted when it fires (as a click
// would be) waits to be served.
class LatencyProbe : public QObject
{
public:
    using Duration = std::chrono::microseconds;

    struct Figures
    {
        int samples = 0;
        Duration timerWorst{};
        Duration timerP99{};
        Duration eventWorst{};
        Duration eventP99{};
    };

    LatencyProbe();

    void start();
    void stop();
    Figures figures() const;

protected:
    bool event(QEvent *event) override;

private:
    void onTimeout();
    void arm();

    static const int ProbeType;

    QTimer timer;
    std::chrono::steady_clock::time_point armed;
    std::vector<Duration> timerLateness;
    std::vector<Duration> eventWaits;
};
