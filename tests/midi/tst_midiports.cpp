#include "eventsink.h"
#include "midiports.h"
#include "testmidiservice.h"

#include <QCoreApplication>
#include <QTest>

#include <thread>

namespace {

QByteArray sysEx(int length)
{
    QByteArray out(length, 0x11);
    out[0] = char(0xF0);
    out[length - 1] = char(0xF7);
    return out;
}

struct Rig
{
    Rig() { ports.setReceiver(&sink); }
    TestMidiService &service() { return *static_cast<TestMidiService *>(ports.service()); }
    QList<QByteArray> delivered()
    {
        QCoreApplication::sendPostedEvents();
        return sink.messages;
    }

    EventSink sink;
    MidiPorts ports{std::make_unique<TestMidiService>()};
};

} // namespace

class TestMidiPorts : public QObject
{
    Q_OBJECT

private slots:
    void openPorts_data()
    {
        QTest::addColumn<int>("inIndex");
        QTest::addColumn<int>("outIndex");
        QTest::addColumn<bool>("inOpen");
        QTest::addColumn<bool>("outOpen");

        QTest::newRow("both exist") << 0 << 0 << true << true;
        QTest::newRow("no IN device") << -1 << 0 << false << true;
        QTest::newRow("bad OUT index") << 0 << 1 << true << false;
    }

    void openPorts()
    {
        QFETCH(int, inIndex);
        QFETCH(int, outIndex);
        QFETCH(bool, inOpen);
        QFETCH(bool, outOpen);
        Rig rig;

        QCOMPARE(rig.ports.openPorts(inIndex, outIndex), inOpen && outOpen);
        QCOMPARE(rig.ports.isInOpen(), inOpen);
        QCOMPARE(rig.ports.isOutOpen(), outOpen);
        QCOMPARE(rig.service().calls.mid(2), QStringList({QStringLiteral("openIn %1").arg(inIndex),
                                                         QStringLiteral("openOut %1").arg(outIndex)}));
        // A half-open input keeps receiving.
        QCOMPARE(rig.service().inject(sysEx(12)), inOpen);
        QCOMPARE(rig.delivered().size(), inOpen ? 1 : 0);
    }

    void closingPostsNothingAndKeepsWhatWasPosted()
    {
        Rig rig;
        rig.service().inNames << QStringLiteral("Second IN");
        QVERIFY(rig.ports.openPorts(0, 0));
        QVERIFY(rig.service().inject(sysEx(12)));
        // What the driver hands back while the input closes must not be posted.
        rig.service().handBackOnClose = {sysEx(20), sysEx(30)};
        rig.service().calls.clear();

        rig.ports.closePorts();
        rig.ports.closePorts();
        QVERIFY(rig.ports.closing());
        QVERIFY(!rig.ports.isInOpen() && !rig.ports.isOutOpen());

        QVERIFY(rig.ports.openPorts(1, 0));
        QCOMPARE(rig.service().calls.mid(4), QStringList({"closeIn", "closeOut", "openIn 1", "openOut 0"}));
        QVERIFY(!rig.ports.closing());
        QVERIFY(rig.service().inject(sysEx(40)));
        QCOMPARE(rig.delivered(), QList<QByteArray>({sysEx(12), sysEx(40)}));
    }

    void sysExArriveWholeInOrderOnGuiThread()
    {
        Rig rig;
        QVERIFY(rig.ports.openPorts(0, 0));
        const QList<QByteArray> traffic{
            sysEx(12),
            QByteArray("\x90\x40\x7f", 3), // note on
            sysEx(1024),
            QByteArray("\xf8", 1), // clock
            sysEx(1025),
            QByteArray("\x12\x34\xf7", 3), // the tail piece of a long SysEx
            sysEx(5000),
        };

        std::thread midiThread([&] {
            for (const QByteArray &message : traffic)
                rig.service().inject(message);
        });
        midiThread.join();

        QVERIFY(rig.sink.messages.isEmpty()); // posted, not delivered on the MIDI thread
        QCOMPARE(rig.delivered(), QList<QByteArray>({sysEx(12), sysEx(1024), sysEx(1025).left(1024),
                                                     sysEx(5000).left(1024)}));
        QVERIFY(rig.sink.allOnOwnThread);
    }

    void sendSysEx_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("open");
        QTest::addColumn<bool>("driverAccepts");
        QTest::addColumn<bool>("result");

        QTest::newRow("accepted") << sysEx(92) << true << true << true;
        QTest::newRow("shortest SysEx") << sysEx(2) << true << true << true;
        QTest::newRow("port closed") << sysEx(92) << false << true << false;
        QTest::newRow("driver refuses") << sysEx(92) << true << false << false;
        QTest::newRow("no start byte") << QByteArray("\x01\x02\xf7", 3) << true << true << false;
        QTest::newRow("no end byte") << QByteArray("\xf0\x01\x02", 3) << true << true << false;
        QTest::newRow("status byte inside") << QByteArray("\xf0\x01\x90\xf7", 4) << true << true << false;
    }

    void sendSysEx()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, open);
        QFETCH(bool, driverAccepts);
        QFETCH(bool, result);
        Rig rig;
        rig.service().acceptSends = driverAccepts;
        if (open)
            QVERIFY(rig.ports.openPorts(0, 0));

        QCOMPARE(rig.ports.sendSysEx(reinterpret_cast<const std::uint8_t *>(message.constData()),
                                     std::size_t(message.size())),
                 result);
        QCOMPARE(rig.service().sent, result ? QList<QByteArray>{message} : QList<QByteArray>{});
    }
};

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
