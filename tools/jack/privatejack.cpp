#include "privatejack.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QStandardPaths>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

namespace {

const QByteArray Ready = QByteArrayLiteral("ready");

// JACK keeps its registry of servers, eight at most, in /dev/shm, and a server
// killed hard keeps its entry there for good: after enough crashed runs no
// server starts. A /dev/shm of this process's own (a mount namespace, where we
// may make one) keeps others' leftovers from blocking our server and ours from
// blocking theirs; it goes when the process does. unshare changes only the
// calling thread and the processes it starts.
bool usePrivateShm()
{
    // Mounts made private first, so that the new /dev/shm stays ours.
    static const bool isolated = unshare(CLONE_NEWNS) == 0
        && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
        && mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
    return isolated;
}

// The kernel gives a new mount namespace only to a process of one thread,
// and a test framework starts threads before any test runs: so at load time.
// A JACK client that finds no server still leaves its metadata in /dev/shm.
const bool isolatedAtLoad = usePrivateShm();

} // namespace

bool PrivateJackServer::isolate()
{
    return isolatedAtLoad;
}

PrivateJackServer::PrivateJackServer(const QString &stem, int period, bool realtime)
    : serverName(QStringLiteral("%1-%2").arg(stem).arg(QCoreApplication::applicationPid()))
    , framesPerPeriod(period)
    , realtime(realtime)
{
}

PrivateJackServer::~PrivateJackServer()
{
    stop();
}

bool PrivateJackServer::mustRun()
{
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

QString PrivateJackServer::start()
{
    if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty()
        || QStandardPaths::findExecutable(QStringLiteral("jack_wait")).isEmpty())
        return QStringLiteral("jackd or jack_wait is not installed");
    const bool isolated = usePrivateShm();
    qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
    qputenv("JACK_NO_AUDIO_RESERVATION", "1");
    server.setProcessChannelMode(QProcess::MergedChannels);
    // A process that crashes takes its server along instead of leaving it running.
    const pid_t parent = getpid();
    server.setChildProcessModifier([parent] {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
    });
    QStringList arguments{QStringLiteral(QEL_PRIVATEJACK_SCRIPT), serverName, QString::number(framesPerPeriod)};
    if (realtime)
        arguments << QStringLiteral("realtime");
    server.start(QStringLiteral("bash"), arguments);
    QByteArray seen;
    const QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired() && server.waitForReadyRead(int(deadline.remainingTime()))) {
        while (server.canReadLine()) {
            const QByteArray line = server.readLine();
            if (line.trimmed() == Ready)
                return {};
            seen += line;
        }
    }
    stop();
    return QStringLiteral("JACK did not start (%1 /dev/shm): %2")
        .arg(isolated ? QStringLiteral("private") : QStringLiteral("shared"),
             QString::fromLocal8Bit(seen + server.readAll()).trimmed());
}

void PrivateJackServer::stop()
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished(StartMs))
        server.kill();
    server.waitForFinished();
}

QByteArray PrivateJackServer::takeOutput()
{
    return server.readAll();
}
