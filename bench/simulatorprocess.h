#pragma once

#include <QProcess>
#include <QString>

// The stand-alone simulated device on its own JACK ports, for the life of this object.
class SimulatorProcess
{
public:
    SimulatorProcess(QString program, QString portName);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it and waits for its ports; false, with its output, when it fails.
    bool start(QString *error);
    // Stops it and returns its closing report (finished transfers, violations).
    QString stop();

    // As the updater lists them: the device's MIDI OUT is where replies come in.
    QString inPort() const { return portName + QStringLiteral(" MIDI OUT"); }
    QString outPort() const { return portName + QStringLiteral(" MIDI IN"); }

private:
    QProcess process;
    QString programPath;
    QString portName;
};
