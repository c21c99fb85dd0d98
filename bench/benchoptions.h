#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

// What the update benchmark is asked to run.
struct BenchOptions
{
    QStringList modes;      // "sim", "inline", "jack"
    int pages = 0;          // 0: the whole image
    int pairs = 31;         // sim: alternating pairs of one-block runs for the ratio
    int rounds = 5;         // inline: runs of each measurement
    int jackPairs = 15;     // jack: alternating pairs of one-block runs for the ratio
    int jackPeriod = 16;    // frames at 48 kHz
    QString simulator;      // the stand-alone simulator program

    bool wants(const QString &mode) const { return modes.contains(mode); }
};

// Reads the command line; exits with the usage text on bad input.
BenchOptions readBenchOptions(const QCoreApplication &app);
