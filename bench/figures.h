#pragma once

#include <QString>

#include <chrono>
#include <vector>

// Small helpers for printing the benchmark's figures.
namespace Figures {

double seconds(std::chrono::nanoseconds time);
double perExchangeUs(std::chrono::nanoseconds time, int exchanges);
// Middle value (the lower one of the two middle values for an even count).
double median(std::vector<double> values);
// The processor architecture, the kernel and the number of cores.
QString machine();
// "met" or "MISSED" for a figure against its ceiling.
QString verdict(double value, double ceiling);
// "median M, from L to H (target <= C: met)" for ratios of pairs of runs.
QString ratioSummary(const std::vector<double> &ratios, double ceiling);
// Prints one line to standard output at once.
void say(const QString &line);

} // namespace Figures
