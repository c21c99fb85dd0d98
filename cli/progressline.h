#pragma once

#include <QString>

// One line of terminal progress: a bar, the percentage, block and page (when
// one is known, not negative), and the time left (when not empty).
namespace ProgressLine {

constexpr int BarWidth = 30;

QString render(int pagesDone, int pagesTotal, int block, int page, const QString &remaining);
// Whole percent done, 0 to 100.
int percent(int pagesDone, int pagesTotal);

} // namespace ProgressLine
