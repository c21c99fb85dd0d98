#pragma once

#include "privatejack.h"

#include <QProcess>
#include <QString>
#include <QStringList>

// The stand-alone simulated device on its own ports of a private JACK server,
// both for the life of this object.
class SimulatorProcess
{
public:
    SimulatorProcess(QString program, QString portName, int jackPeriod);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts the server, then the simulator, and waits for its ports; an
    // empty text, or why not. Before any JACK client of this process exists.
    QString start();
    // Stops it and returns its closing report (finished transfers, violations).
    QString stop();

    // As the updater lists them: the device's MIDI OUT is where replies come in.
    QString inPort() const { return portName + QStringLiteral(" MIDI OUT"); }
    QString outPort() const { return portName + QStringLiteral(" MIDI IN"); }

private:
    PrivateJackServer server;
    QProcess process;
    QString programPath;
    QString portName;
};

// Index of the first of `names` that contains `port`; -1 when none does.
int portRow(const QStringList &names, const QString &port);
