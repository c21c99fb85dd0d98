#include "eventsink.h"
#include "midiports.h"
#include "testmidiservice.h"

#include <QCoreApplication>
#include <QTest>

#include <thread>

namespace {

QByteArray bytes(std::initializer_list<int> values)
{
    QByteArray out;
    for (int v : values)
        out.append(char(v));
    return out;
}

QByteArray sysEx(int length, int seed = 0)
{
    QByteArray out(length, 0);
    for (int i = 1; i < length - 1; ++i)
        out[i] = char((i + seed) & 0x7F);
    out[0] = char(0xF0);
    out[length - 1] = char(0xF7);
    return out;
}

struct Rig
{
    Rig()
        : Rig(std::make_unique<TestMidiService>())
    {
    }
    explicit Rig(std::unique_ptr<TestMidiService> owned)
        : service(owned.get()), ports(std::move(owned))
    {
        ports.setReceiver(&sink);
    }

    EventSink sink;
    TestMidiService *service;
    MidiPorts ports;
};

} // namespace

class TestMidiPorts : public QObject
{
    Q_OBJECT

private slots:
    void openPorts_data();
    void openPorts();
    void reopenClosesFirstPair();
    void secondCloseChangesNothing();
    void sysExArriveWholeInOrderOnGuiThread();
    void longMessageIsCut_data();
    void longMessageIsCut();
    void nothingPostedWhileClosing();
    void postedBeforeCloseStillArrive();
    void sendSysEx_data();
    void sendSysEx();
};

void TestMidiPorts::openPorts_data()
{
    QTest::addColumn<int>("inIndex");
    QTest::addColumn<int>("outIndex");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("inOpen");
    QTest::addColumn<bool>("outOpen");

    QTest::newRow("both exist") << 0 << 0 << true << true << true;
    QTest::newRow("no IN device") << -1 << 0 << false << false << true;
    QTest::newRow("bad OUT index") << 0 << 1 << false << true << false;
    QTest::newRow("neither exists") << -1 << 3 << false << false << false;
}

void TestMidiPorts::openPorts()
{
    QFETCH(int, inIndex);
    QFETCH(int, outIndex);
    QFETCH(bool, result);
    QFETCH(bool, inOpen);
    QFETCH(bool, outOpen);
    Rig rig;

    QCOMPARE(rig.ports.openPorts(inIndex, outIndex), result);
    QCOMPARE(rig.ports.isInOpen(), inOpen);
    QCOMPARE(rig.ports.isOutOpen(), outOpen);
    // The output is tried whatever became of the input.
    QCOMPARE(rig.service->calls.mid(2),
             QStringList({QStringLiteral("openIn %1").arg(inIndex), QStringLiteral("openOut %1").arg(outIndex)}));

    // A half-open input keeps receiving.
    const QByteArray reply = sysEx(12);
    QCOMPARE(rig.service->inject(reply), inOpen);
    QCoreApplication::sendPostedEvents();
    QCOMPARE(rig.sink.messages, inOpen ? QList<QByteArray>{reply} : QList<QByteArray>{});
}

void TestMidiPorts::reopenClosesFirstPair()
{
    auto service = std::make_unique<TestMidiService>();
    service->inNames << QStringLiteral("Second IN");
    Rig rig(std::move(service));
    QVERIFY(rig.ports.openPorts(0, 0));
    rig.service->calls.clear();
    rig.service->handBackOnClose = {sysEx(20)};

    QVERIFY(rig.ports.openPorts(1, 0));

    QCOMPARE(rig.service->calls,
             QStringList({"closeIn", "closeOut", "openIn 1", "openOut 0"}));
    QVERIFY(!rig.ports.closing());
    const QByteArray reply = sysEx(30);
    QVERIFY(rig.service->inject(reply));
    QCoreApplication::sendPostedEvents();
    // What the first input handed back while closing is not posted.
    QCOMPARE(rig.sink.messages, QList<QByteArray>{reply});
}

void TestMidiPorts::secondCloseChangesNothing()
{
    Rig rig;
    QVERIFY(rig.ports.openPorts(0, 0));
    rig.ports.closePorts();
    QVERIFY(rig.ports.closing());

    rig.ports.closePorts();

    QVERIFY(rig.ports.closing());
    QVERIFY(!rig.ports.isInOpen());
    QVERIFY(!rig.ports.isOutOpen());
    QVERIFY(!rig.ports.sendSysEx(reinterpret_cast<const std::uint8_t *>(sysEx(11).constData()), 11));
}

void TestMidiPorts::sysExArriveWholeInOrderOnGuiThread()
{
    Rig rig;
    QVERIFY(rig.ports.openPorts(0, 0));
    const QList<QByteArray> replies{sysEx(12), sysEx(92, 5), sysEx(2)};
    const QList<QByteArray> traffic{
        replies[0],
        bytes({0x90, 0x40, 0x7F}), // note on
        replies[1],
        bytes({0xF8}), // clock
        bytes({0xFE}), // active sensing
        bytes({0x12, 0x34, 0xF7}), // the tail piece of a long SysEx
        replies[2],
    };

    std::thread midiThread([&] {
        for (const QByteArray &message : traffic)
            rig.service->inject(message);
    });
    midiThread.join();

    QVERIFY(rig.sink.messages.isEmpty()); // posted, not delivered on the MIDI thread
    QCoreApplication::sendPostedEvents();
    QCOMPARE(rig.sink.messages, replies);
    QVERIFY(rig.sink.allOnOwnThread);
}

void TestMidiPorts::longMessageIsCut_data()
{
    QTest::addColumn<int>("length");
    QTest::newRow("1023") << 1023;
    QTest::newRow("1024") << 1024;
    QTest::newRow("1025") << 1025;
    QTest::newRow("5000") << 5000;
}

void TestMidiPorts::longMessageIsCut()
{
    QFETCH(int, length);
    Rig rig;
    QVERIFY(rig.ports.openPorts(0, 0));
    const QByteArray message = sysEx(length);

    QVERIFY(rig.service->inject(message));
    QCoreApplication::sendPostedEvents();

    QCOMPARE(rig.sink.messages, QList<QByteArray>{message.left(MidiPorts::ReceiveBufferSize)});
}

void TestMidiPorts::nothingPostedWhileClosing()
{
    Rig rig;
    QVERIFY(rig.ports.openPorts(0, 0));
    rig.service->handBackOnClose = {sysEx(12), sysEx(92)};

    rig.ports.closePorts();
    QCoreApplication::sendPostedEvents();

    QVERIFY(rig.sink.messages.isEmpty());
}

void TestMidiPorts::postedBeforeCloseStillArrive()
{
    Rig rig;
    QVERIFY(rig.ports.openPorts(0, 0));
    const QByteArray reply = sysEx(12);
    QVERIFY(rig.service->inject(reply));

    rig.ports.closePorts();
    QCoreApplication::sendPostedEvents();

    QCOMPARE(rig.sink.messages, QList<QByteArray>{reply});
}

void TestMidiPorts::sendSysEx_data()
{
    QTest::addColumn<QByteArray>("message");
    QTest::addColumn<bool>("open");
    QTest::addColumn<bool>("driverAccepts");
    QTest::addColumn<bool>("result");

    QTest::newRow("accepted") << sysEx(92) << true << true << true;
    QTest::newRow("shortest SysEx") << bytes({0xF0, 0xF7}) << true << true << true;
    QTest::newRow("port closed") << sysEx(92) << false << true << false;
    QTest::newRow("driver refuses") << sysEx(92) << true << false << false;
    QTest::newRow("empty") << QByteArray() << true << true << false;
    QTest::newRow("start byte only") << bytes({0xF0}) << true << true << false;
    QTest::newRow("no start byte") << bytes({0x01, 0x02, 0xF7}) << true << true << false;
    QTest::newRow("no end byte") << bytes({0xF0, 0x01, 0x02}) << true << true << false;
    QTest::newRow("status byte inside") << bytes({0xF0, 0x01, 0x90, 0xF7}) << true << true << false;
}

void TestMidiPorts::sendSysEx()
{
    QFETCH(QByteArray, message);
    QFETCH(bool, open);
    QFETCH(bool, driverAccepts);
    QFETCH(bool, result);
    Rig rig;
    rig.service->acceptSends = driverAccepts;
    if (open)
        QVERIFY(rig.ports.openPorts(0, 0));

    QCOMPARE(rig.ports.sendSysEx(reinterpret_cast<const std::uint8_t *>(message.constData()),
                                 std::size_t(message.size())),
             result);
    QCOMPARE(rig.service->sent, result ? QList<QByteArray>{message} : QList<QByteArray>{});
}

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
