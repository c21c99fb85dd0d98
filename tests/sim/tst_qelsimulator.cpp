// The stand-alone simulator over a real MIDI stack: a private JACK server with
// the dummy driver, the simulator's virtual ports, and RtMidi on this side.

#include "devicelink.h"
#include "privatejackserver.h"
#include "simmidiservice.h"
#include "sysex.h"

#include <RtMidi.h>

#include <QtTest>

#include <condition_variable>
#include <mutex>

namespace {

constexpr int StartMs = 5000;
constexpr int ReplyMs = 3000;
const QString PortBase = QStringLiteral("QelSmoke");

struct Inbox
{
    std::mutex mutex;
    std::condition_variable arrived;
    QList<QByteArray> messages;

    static void receive(double, std::vector<unsigned char> *message, void *self)
    {
        auto *inbox = static_cast<Inbox *>(self);
        std::lock_guard<std::mutex> lock(inbox->mutex);
        inbox->messages.append(QByteArray(reinterpret_cast<const char *>(message->data()), int(message->size())));
        inbox->arrived.notify_all();
    }
    bool waitFor(int count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(ReplyMs), [&] { return messages.size() >= count; });
    }
};

template <typename Port>
int findPort(Port &port, const QString &name)
{
    for (unsigned int i = 0; i < port.getPortCount(); ++i)
        if (QString::fromStdString(port.getPortName(i)).contains(name))
            return int(i);
    return -1;
}

// Waits for a line that starts with `prefix`; the process's output so far.
QString waitForLine(QProcess &process, const QString &prefix)
{
    QString seen;
    QDeadlineTimer deadline(StartMs);
    while (!deadline.hasExpired()) {
        while (process.canReadLine()) {
            const QString line = QString::fromLocal8Bit(process.readLine());
            seen += line;
            if (line.startsWith(prefix))
                return seen;
        }
        if (!process.waitForReadyRead(int(deadline.remainingTime())))
            break;
    }
    return seen;
}

} // namespace

class TestQelSimulator : public QObject
{
    Q_OBJECT

    PrivateJackServer jack{QStringLiteral("qelsmoke")};
    QProcess simulator;

private slots:
    void initTestCase()
    {
        const QString why = jack.start();
        if (!why.isEmpty())
            QSKIP(qPrintable(why));
    }

    void cleanupTestCase()
    {
        if (simulator.state() != QProcess::NotRunning) {
            simulator.terminate();
            if (!simulator.waitForFinished(StartMs))
                simulator.kill();
            simulator.waitForFinished();
        }
        jack.stop();
    }

    void identifiesOverJack()
    {
        simulator.start(QStringLiteral(QEL_SIMULATOR_PATH),
                        {QStringLiteral("--api"), QStringLiteral("jack"), QStringLiteral("--port-name"), PortBase,
                         QStringLiteral("--serial"), QStringLiteral("4242"), QStringLiteral("--name"),
                         QStringLiteral("Smoke"), QStringLiteral("--verbose")});
        const QString start = waitForLine(simulator, QStringLiteral("ready"));
        QVERIFY2(start.contains(QStringLiteral("ready")), qPrintable(start + simulator.readAllStandardError()));

        RtMidiIn in(RtMidi::UNIX_JACK, "qel smoke test");
        RtMidiOut out(RtMidi::UNIX_JACK, "qel smoke test");
        // Its output is our input, and the other way round.
        const int inPort = findPort(in, PortBase + QStringLiteral(" MIDI OUT"));
        const int outPort = findPort(out, PortBase + QStringLiteral(" MIDI IN"));
        QVERIFY(inPort >= 0 && outPort >= 0);
        Inbox inbox;
        in.ignoreTypes(false, true, true);
        in.setCallback(&Inbox::receive, &inbox);
        in.openPort(unsigned(inPort));
        out.openPort(unsigned(outPort));

        const SysExMessage identify = buildIdentify();
        out.sendMessage(identify.data(), identify.size());
        const bool answered = inbox.waitFor(1);
        in.closePort();
        out.closePort();
        QVERIFY(answered);

        DeviceLink link(std::make_unique<SimMidiService>());
        const QByteArray reply = inbox.messages.first();
        QCOMPARE(link.decodeReply(reinterpret_cast<const std::uint8_t *>(reply.constData()), int(reply.size())),
                 ReplyIdentify);
        QCOMPARE(link.serialNumber(), 4242u);
        QCOMPARE(link.deviceName(), QStringLiteral("Smoke"));

        simulator.terminate();
        QVERIFY(simulator.waitForFinished(StartMs));
        QCOMPARE(simulator.exitStatus(), QProcess::NormalExit);
        QCOMPARE(simulator.exitCode(), 0);
        const QString output = QString::fromLocal8Bit(simulator.readAllStandardOutput());
        QVERIFY2(output.split(QLatin1Char('\n')).contains(QStringLiteral("Identify")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestQelSimulator)
#include "tst_qelsimulator.moc"
