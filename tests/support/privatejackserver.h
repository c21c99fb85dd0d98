#pragma once

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>
#include <QtTest>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <unistd.h>

// A JACK server of the test's own (dummy driver, private name), so tests run
// over a real MIDI stack without sound hardware and without meeting each other.
class PrivateJackServer
{
public:
    static constexpr int StartMs = 5000;

    // The default period is long (43 ms): on a busy machine short ones miss
    // cycles, and JACK drops the MIDI events of a missed cycle.
    explicit PrivateJackServer(const QString &stem, int period = 2048)
        : serverName(QStringLiteral("%1-%2").arg(stem).arg(QCoreApplication::applicationPid())), framesPerPeriod(period)
    {
    }
    ~PrivateJackServer() { stop(); }
    PrivateJackServer(const PrivateJackServer &) = delete;
    PrivateJackServer &operator=(const PrivateJackServer &) = delete;

    // CI must see every JACK test run: a skip there would pass unseen.
    static bool mustRun() { return qEnvironmentVariable("CI") == QLatin1String("true"); }

    // Starts the server and points this process's JACK clients at it. Returns
    // why it could not, or an empty text when it runs.
    QString start()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("jackd")).isEmpty()
            || QStandardPaths::findExecutable(QStringLiteral("jack_wait")).isEmpty())
            return QStringLiteral("jackd or jack_wait is not installed");
        // Before any JACK client exists in this process.
        const bool isolated = usePrivateShm();
        qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());
        qputenv("JACK_NO_AUDIO_RESERVATION", "1");
        server.setProcessChannelMode(QProcess::MergedChannels);
        // A test that crashes takes its server along instead of leaving it running.
        const pid_t parent = getpid();
        server.setChildProcessModifier([parent] {
            prctl(PR_SET_PDEATHSIG, SIGTERM);
            if (getppid() != parent)
                _exit(1);
        });
        server.start(QStringLiteral("jackd"), {QStringLiteral("--no-realtime"), QStringLiteral("-n"), serverName,
                                               QStringLiteral("-d"), QStringLiteral("dummy"), QStringLiteral("-r"),
                                               QStringLiteral("48000"), QStringLiteral("-p"), QString::number(framesPerPeriod)});
        const auto running = [this] {
            QProcess probe;
            probe.start(QStringLiteral("jack_wait"), {QStringLiteral("-s"), serverName, QStringLiteral("-c")});
            return probe.waitForFinished(StartMs) && probe.readAllStandardOutput().trimmed() == "running";
        };
        const QDeadlineTimer deadline(StartMs);
        while (!running()) {
            // Between probes, each a process start that paces the polling,
            // notice a server that gave up.
            if (server.waitForFinished(10) || server.state() == QProcess::NotRunning || deadline.hasExpired()) {
                // Waiting for the end also collects the rest of its output.
                stop();
                return QStringLiteral("JACK did not start (%1 /dev/shm): %2")
                    .arg(isolated ? QStringLiteral("private") : QStringLiteral("shared"),
                         QString::fromLocal8Bit(server.readAll()).trimmed());
            }
        }
        return {};
    }

    void stop()
    {
        if (server.state() == QProcess::NotRunning)
            return;
        server.terminate();
        if (!server.waitForFinished(StartMs))
            server.kill();
        server.waitForFinished();
    }

private:
    // JACK keeps its registry of servers, eight at most, in /dev/shm, and a
    // server killed hard keeps its entry there for good: after enough crashed
    // runs no server starts. A /dev/shm of this process's own (a mount
    // namespace, where we may make one) keeps others' leftovers from blocking
    // our server and ours from blocking theirs; it goes when the process does.
    // Changes only the calling thread, so it must be the one that starts the
    // server and opens the JACK clients.
    static bool usePrivateShm()
    {
        // Mounts made private first, so that the new /dev/shm stays ours.
        static const bool isolated = unshare(CLONE_NEWNS) == 0
            && mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0
            && mount("tmpfs", "/dev/shm", "tmpfs", MS_NOSUID | MS_NODEV, "mode=1777") == 0;
        return isolated;
    }

    QString serverName;
    int framesPerPeriod;
    QProcess server;
};

// Starts `jack`, or ends the test function: a failure under CI, a skip elsewhere.
#define QEL_START_JACK(jack)                                                                                           \
    do {                                                                                                               \
        const QString whyNot = (jack).start();                                                                         \
        if (!whyNot.isEmpty() && PrivateJackServer::mustRun())                                                         \
            QFAIL(qPrintable(whyNot));                                                                                 \
        if (!whyNot.isEmpty())                                                                                         \
            QSKIP(qPrintable(whyNot));                                                                                 \
    } while (false)
