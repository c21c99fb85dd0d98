#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

// qel-simulator on JACK ports of its own ("<portName> MIDI IN/OUT") of the
// server JACK_DEFAULT_SERVER names, for the life of this object.
class SimulatorProcess
{
public:
    SimulatorProcess(QString program, QString portName);
    ~SimulatorProcess();
    SimulatorProcess(const SimulatorProcess &) = delete;
    SimulatorProcess &operator=(const SimulatorProcess &) = delete;

    // Starts it with `options` besides the API and the port name, and waits
    // for its ports; an empty text, or why not.
    QString start(const QStringList &options = {});
    // Stops it and returns what it said since it got ready, its closing
    // report (finished transfers, violations) last.
    QString stop();

    // As the updater lists them: the device's MIDI OUT is where replies come in.
    QString inPort() const { return portName + QStringLiteral(" MIDI OUT"); }
    QString outPort() const { return portName + QStringLiteral(" MIDI IN"); }

private:
    QProcess process;
    QString programPath;
    QString portName;
};

// Index of the first of `names` that contains `port`; -1 when none does.
int portRow(const QStringList &names, const QString &port);
