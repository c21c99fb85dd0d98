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

QString SimulatorProcess::start(const QStringList &options)
{
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(programPath, QStringList{QStringLiteral("--api"), QStringLiteral("jack"), QStringLiteral("--port-name"),
                                           portName} + options);
    QString seen;
    const QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine());
            seen += line;
            if (line.startsWith(Ready))
                return {};
        }
        if (!process.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    return QStringLiteral("%1 did not get ready: %2").arg(programPath, seen.trimmed());
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

int portRow(const QStringList &names, const QString &port)
{
    for (int i = 0; i < names.size(); ++i)
        if (names[i].contains(port))
            return i;
    return -1;
}
