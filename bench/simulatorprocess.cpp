#include "simulatorprocess.h"

#include <QDeadlineTimer>

namespace {

constexpr int StartMs = 5000;
const QString Ready = QStringLiteral("ready");

} // namespace

SimulatorProcess::SimulatorProcess(QString program, QString name)
    : programPath(std::move(program)), portName(std::move(name))
{
}

SimulatorProcess::~SimulatorProcess()
{
    stop();
}

bool SimulatorProcess::start(QString *error)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(programPath, {QStringLiteral("--api"), QStringLiteral("jack"), QStringLiteral("--port-name"), portName});
    QString seen;
    const QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine());
            seen += line;
            if (line.startsWith(Ready))
                return true;
        }
        if (!process.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    *error = QStringLiteral("%1 did not get ready: %2").arg(programPath, seen.trimmed());
    return false;
}

QString SimulatorProcess::stop()
{
    if (process.state() == QProcess::NotRunning)
        return {};
    process.terminate();
    if (!process.waitForFinished(StartMs))
        process.kill();
    process.waitForFinished();
    return QString::fromLocal8Bit(process.readAll()).trimmed();
}
