#pragma once

#include <QString>

#include <chrono>
#include <vector>

// Small helpers for printing the benchmark's figures.
namespace Figures {

double microseconds(std::chrono::nanoseconds time);
double seconds(std::chrono::nanoseconds time);
double perExchangeUs(std::chrono::nanoseconds time, int exchanges);
// Middle value (the lower one of the two middle values for an even count).
double median(std::vector<double> values);
double best(const std::vector<double> &values);
// Processor time the calling thread has used so far.
std::chrono::nanoseconds threadCpuTime();
// Largest resident set this process has had so far, in MiB.
double peakMemoryMiB();
// The processor model and the number of cores, as the kernel reports them.
QString machine();
// "met" or "MISSED" for a figure against its ceiling.
QString verdict(double value, double ceiling);
// Prints one line to standard output at once.
void say(const QString &line);

} // namespace Figures
