#pragma once

#include <QString>

// One line of terminal progress: a bar, the percentage, block and page, and
// the time left when known.
namespace ProgressLine {

constexpr int BarWidth = 30;

QString render(int pagesDone, int pagesTotal, int block, int page, const QString &remaining);
// Whole percent done, 0 to 100.
int percent(int pagesDone, int pagesTotal);

} // namespace ProgressLine
