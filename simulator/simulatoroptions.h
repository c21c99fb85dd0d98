#pragma once

#include "linkfaults.h"
#include "simdevice.h"

#include <QCommandLineParser>
#include <QString>

#include <chrono>
#include <optional>

// Everything the stand-alone simulator is told on its command line.
struct SimulatorSetup
{
    SimDevice device;
    LinkFaults faults;
    QString api;                           // RtMidi API name; empty for RtMidi's choice
    QString portName;                      // ports are "<name> MIDI IN" and "<name> MIDI OUT"
    std::chrono::milliseconds lateDelay{};
    bool verbose = false;
    QString saveImage;                     // where to write the image it holds when it stops
};

void addSimulatorOptions(QCommandLineParser &parser);
// Nothing, with `error` set, when a value does not make sense.
std::optional<SimulatorSetup> readSimulatorOptions(const QCommandLineParser &parser, QString *error);
