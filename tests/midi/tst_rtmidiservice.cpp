#include "privatejackserver.h"
#include "rtmidiservice.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <algorithm>

// A JACK client that finds no server leaves its metadata in /dev/shm: ours.
static const bool privateShm = PrivateJackServer::isolate();

class TestRtMidiService : public QObject
{
    Q_OBJECT

private slots:
    void missingMidiSystemGivesNoPorts_data()
    {
        QTest::addColumn<QString>("apiName");
        // A server name nobody runs, so "jack" finds no server.
        qputenv("JACK_DEFAULT_SERVER", "qel-absent-" + QByteArray::number(QCoreApplication::applicationPid()));
        QTest::newRow("unknown name") << "carrier-pigeon";
        QTest::newRow("JACK without a server") << "jack";
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        for (const char *name : {"winmm", "core", "alsa"}) {
            if (std::count(compiled.begin(), compiled.end(), *RtMidiService::apiFromName(name)) == 0) {
                QTest::newRow("API not in this build") << name; // RtMidi itself would fall back
                break;
            }
        }
#ifdef Q_OS_LINUX
        // RtMidi's default then throws while building its ALSA client.
        if (!QFile::exists(QStringLiteral("/dev/snd/seq")))
            QTest::newRow("default without an ALSA sequencer") << QString();
#endif
    }
    void missingMidiSystemGivesNoPorts()
    {
        QFETCH(QString, apiName);
        RtMidiService service(apiName);
        bool called = false;
        const std::uint8_t message[] = {0xF0, 0x7E, 0xF7};
        QVERIFY(!service.inPortName(0) && !service.outPortName(0) && service.portNames(true, 10).isEmpty());
        QVERIFY(!service.openIn(0, [&](const std::uint8_t *, std::size_t) { called = true; }));
        QVERIFY(!service.openOut(0) && !service.isInOpen() && !service.isOutOpen());
        QVERIFY(!service.send(message, sizeof message) && !called);
    }
};

QTEST_GUILESS_MAIN(TestRtMidiService)
#include "tst_rtmidiservice.moc"
