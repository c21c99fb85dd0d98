#include "rtmidiservice.h"

#include <QCoreApplication>
#include <QFile>
#include <QTest>

#include <algorithm>

Q_DECLARE_METATYPE(std::optional<RtMidi::Api>)

class TestRtMidiService : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void apiFromName_data();
    void apiFromName();
    void missingMidiSystemGivesNoPorts_data();
    void missingMidiSystemGivesNoPorts();
};

void TestRtMidiService::initTestCase()
{
    // A server name nobody runs, so "jack" finds no server.
    qputenv("JACK_DEFAULT_SERVER",
            QByteArray("qel-absent-") + QByteArray::number(QCoreApplication::applicationPid()));
}

void TestRtMidiService::apiFromName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<std::optional<RtMidi::Api>>("api");

    QTest::newRow("empty") << QString() << std::optional(RtMidi::UNSPECIFIED);
    QTest::newRow("alsa") << "alsa" << std::optional(RtMidi::LINUX_ALSA);
    QTest::newRow("jack") << "jack" << std::optional(RtMidi::UNIX_JACK);
    QTest::newRow("JACK") << "JACK" << std::optional(RtMidi::UNIX_JACK);
    QTest::newRow("winmm") << "winmm" << std::optional(RtMidi::WINDOWS_MM);
    QTest::newRow("core") << "core" << std::optional(RtMidi::MACOSX_CORE);
    QTest::newRow("sim is not RtMidi's") << "sim" << std::optional<RtMidi::Api>();
    QTest::newRow("prefix") << "ja" << std::optional<RtMidi::Api>();
    QTest::newRow("RtMidi's own dummy") << "dummy" << std::optional<RtMidi::Api>();
}

void TestRtMidiService::apiFromName()
{
    QFETCH(QString, name);
    QFETCH(std::optional<RtMidi::Api>, api);
    QCOMPARE(RtMidiService::apiFromName(name), api);
}

void TestRtMidiService::missingMidiSystemGivesNoPorts_data()
{
    QTest::addColumn<QString>("apiName");

    QTest::newRow("unknown name") << "midi-over-carrier-pigeon";
    for (const char *name : {"alsa", "jack", "winmm", "core"}) {
        std::vector<RtMidi::Api> compiled;
        RtMidi::getCompiledApi(compiled);
        if (std::find(compiled.begin(), compiled.end(), *RtMidiService::apiFromName(name)) == compiled.end()) {
            QTest::newRow(qPrintable(QStringLiteral("%1 not in this build").arg(name))) << name;
            break;
        }
    }
    QTest::newRow("JACK without a server") << "jack";
#ifdef Q_OS_LINUX
    // RtMidi's default then throws while building its ALSA client.
    if (!QFile::exists(QStringLiteral("/dev/snd/seq")))
        QTest::newRow("default without an ALSA sequencer") << QString();
#endif
}

void TestRtMidiService::missingMidiSystemGivesNoPorts()
{
    QFETCH(QString, apiName);
    RtMidiService service(apiName);
    bool called = false;
    const std::uint8_t message[] = {0xF0, 0x7E, 0xF7};

    QVERIFY(!service.inPortName(0));
    QVERIFY(!service.outPortName(0));
    QVERIFY(!service.openIn(0, [&](const std::uint8_t *, std::size_t) { called = true; }));
    QVERIFY(!service.openOut(0));
    QVERIFY(!service.isInOpen());
    QVERIFY(!service.isOutOpen());
    QVERIFY(!service.send(message, sizeof message));
    service.closeIn();
    service.closeOut();
    QVERIFY(!called);
}

QTEST_GUILESS_MAIN(TestRtMidiService)
#include "tst_rtmidiservice.moc"
