// The stand-alone simulator over a real MIDI stack: a private JACK server with
// the dummy driver, the simulator's virtual ports, and RtMidi on this side.

#include "inbox.h"
#include "privatejackserver.h"
#include "rtmidiservice.h"
#include "sysex.h"

#include <QtTest>

class TestQelSimulator : public QObject
{
    Q_OBJECT

    static constexpr int StartMs = 5000;
    PrivateJackServer jack{QStringLiteral("qelsmoke")};
    QProcess simulator;

private slots:
    void initTestCase()
    {
        QEL_START_JACK(jack);
    }
    void cleanupTestCase()
    {
        simulator.kill();
        simulator.waitForFinished();
        jack.stop();
    }

    void identifiesOverJack()
    {
        simulator.start(QStringLiteral(QEL_SIMULATOR_PATH), QStringList{"--api", "jack", "--port-name", "QelSmoke",
                                                                        "--serial", "4242", "--name", "Smoke", "--verbose"});
        // Its first line says that its ports are open.
        QVERIFY2(simulator.waitForReadyRead(StartMs) && simulator.readLine().startsWith("ready"),
                 simulator.readAllStandardError().constData());
        Inbox inbox;
        {
            RtMidiService service(QStringLiteral("jack"));
            // Its output is our input, and the other way round.
            const int in = int(service.portNames(true, 100).indexOf(QRegularExpression(".*QelSmoke MIDI OUT")));
            const int out = int(service.portNames(false, 100).indexOf(QRegularExpression(".*QelSmoke MIDI IN")));
            QVERIFY(service.openIn(in, inbox.callback()) && service.openOut(out));
            const SysExMessage identify = buildIdentify();
            QVERIFY(service.send(identify.data(), identify.size()));
            QVERIFY(inbox.waitFor(1));
        }
        const Reply identity = decoded(inbox.received().first());
        QCOMPARE(identity.serialNumber, 4242u);
        QCOMPARE(identity.deviceName, std::string("Smoke"));

        simulator.terminate();
        QVERIFY(simulator.waitForFinished(StartMs));
        QVERIFY(simulator.exitStatus() == QProcess::NormalExit && simulator.exitCode() == 0);
        const QString output = QString::fromLocal8Bit(simulator.readAllStandardOutput());
        QVERIFY2(output.split(QLatin1Char('\n')).contains(QStringLiteral("Identify")), qPrintable(output));
    }
};

QTEST_GUILESS_MAIN(TestQelSimulator)
#include "tst_qelsimulator.moc"
