#pragma once

#include <QElapsedTimer>
#include <QString>

// One line of terminal progress: a bar, the percentage, block and page (when
// one is known, not negative), and the time left (when not empty).
namespace ProgressLine {

constexpr int BarWidth = 30;

QString render(int pagesDone, int pagesTotal, int block, int page, const QString &remaining);
// Whole percent done, 0 to 100.
int percent(int pagesDone, int pagesTotal);

} // namespace ProgressLine

// Which progress reports are worth showing: on a terminal, where a line is
// redrawn, one per interval; elsewhere, where every one stays, one per step
// of whole percent. The last report always passes.
class ProgressThrottle
{
public:
    static constexpr int IntervalMs = 200;

    // `stepPercent` 0 throttles by time.
    explicit ProgressThrottle(int stepPercent = 0) : step(stepPercent) {}
    bool pass(int pagesDone, int pagesTotal);

private:
    int step;
    int lastStep = -1;
    QElapsedTimer clock;
};
