// The stand-alone simulator over a real MIDI stack: a private JACK server with
// the dummy driver, the simulator's virtual ports, and RtMidi on this side.

#include "devicelink.h"
#include "inbox.h"
#include "privatejackserver.h"
#include "rtmidiservice.h"
#include "testmidiservice.h"

#include <QtTest>

namespace {

constexpr int StartMs = 5000;
const QString PortBase = QStringLiteral("QelSmoke");

int portIndex(std::optional<QString> (RtMidiService::*name)(int) const, const RtMidiService &service,
              const QString &part)
{
    for (int i = 0; const std::optional<QString> n = (service.*name)(i); ++i) {
        if (n->contains(part))
            return i;
    }
    return -1;
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
        // Its first line says that its ports are open.
        QVERIFY2(simulator.waitForReadyRead(StartMs) && simulator.readLine().startsWith("ready"),
                 simulator.readAllStandardError().constData());

        Inbox inbox;
        {
            RtMidiService service(QStringLiteral("jack"));
            // Its output is our input, and the other way round.
            QVERIFY(service.openIn(portIndex(&RtMidiService::inPortName, service, PortBase + " MIDI OUT"),
                                   inbox.callback()));
            QVERIFY(service.openOut(portIndex(&RtMidiService::outPortName, service, PortBase + " MIDI IN")));
            const SysExMessage identify = buildIdentify();
            QVERIFY(service.send(identify.data(), identify.size()));
            QVERIFY(inbox.waitFor(1));
        }
        DeviceLink link(std::make_unique<TestMidiService>());
        QCOMPARE(link.takeReply(inbox.received().first()), ReplyIdentify);
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
