#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <vector>

// What a user of a busy window would notice: every 10 ms it asks one widget
// for a repaint and posts a click to it, and records how long each waits to
// be served.
class WindowProbe : public QObject
{
public:
    using Duration = std::chrono::microseconds;

    struct Figures
    {
        int samples = 0;
        Duration repaintWorst{};
        Duration repaintP99{};
        Duration clickWorst{};
        Duration clickP99{};
    };

    // `target` must take clicks harmlessly; it must outlive the probe's use.
    explicit WindowProbe(QWidget *target);

    void start();
    void stop();
    Figures figures() const;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void poke();

    QPointer<QWidget> target;
    QTimer timer;
    std::chrono::steady_clock::time_point repaintAsked;
    bool repaintPending = false;
    std::chrono::steady_clock::time_point clickPosted;
    bool clickPending = false;
    std::vector<Duration> repaints;
    std::vector<Duration> clicks;
};
