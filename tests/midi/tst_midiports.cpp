#include "messagesink.h"
#include "midiports.h"
#include "testmidiservice.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTest>
#include <QTimer>

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
    TestMidiService &service() { return *static_cast<TestMidiService *>(ports.service()); }
    QList<QByteArray> delivered()
    {
        ports.takeWaiting();
        return sink.messages;
    }

    MidiPorts ports{std::make_unique<TestMidiService>()};
    MessageSink sink{ports};
};

bool send(Rig &rig, const QByteArray &m)
{
    return rig.ports.sendSysEx(reinterpret_cast<const std::uint8_t *>(m.constData()), std::size_t(m.size()));
}

} // namespace

class TestMidiPorts : public QObject
{
    Q_OBJECT

private slots:
    void halfOpenAndClosing()
    {
        Rig rig;
        // Each side opens whatever became of the other.
        QVERIFY(!rig.ports.openPorts(-1, 0) && !rig.ports.isInOpen() && rig.ports.isOutOpen());
        QVERIFY(!rig.ports.openPorts(0, 1) && rig.ports.isInOpen() && !rig.ports.isOutOpen());
        QVERIFY(!send(rig, sysEx(92))); // nothing open to send on
        rig.service().inNames << QStringLiteral("Second IN");
        QVERIFY(rig.ports.openPorts(0, 0));
        QVERIFY(rig.service().inject(sysEx(12)));
        // What the driver hands back while the input closes must not be posted.
        rig.service().handBackOnClose = {sysEx(20), sysEx(30)};
        rig.service().calls.clear();
        rig.ports.closePorts();
        QVERIFY(rig.ports.closing() && !rig.ports.isInOpen() && !rig.ports.isOutOpen());

        QVERIFY(rig.ports.openPorts(1, 0));
        QCOMPARE(rig.service().calls.mid(2), QStringList({"closeIn", "closeOut", "openIn 1", "openOut 0"}));
        QVERIFY(!rig.ports.closing());
        QVERIFY(rig.service().inject(sysEx(40)));
        QCOMPARE(rig.delivered(), QList<QByteArray>({sysEx(12), sysEx(40)}));
    }

    void sysExArriveWholeInOrderOnGuiThread()
    {
        Rig rig;
        QVERIFY(rig.ports.openPorts(0, 0));
        std::thread midiThread([&] {
            // A note on, a clock and the tail piece of a long SysEx are no replies.
            for (const QByteArray &message : {sysEx(12), QByteArray("\x90\x40\x7f"), sysEx(1024), QByteArray("\xf8"),
                                              sysEx(1025), QByteArray("\x12\x34\xf7")})
                rig.service().inject(message);
        });
        midiThread.join();
        QVERIFY(rig.sink.messages.isEmpty()); // posted, not delivered on the MIDI thread
        QCOMPARE(rig.delivered(), QList<QByteArray>({sysEx(12), sysEx(1024), sysEx(1025).left(1024)}));
        QVERIFY(rig.sink.allOnOwnThread);
    }

    // A receiver that falls behind loses the newest messages, counted, and
    // gets the ones kept in order.
    void overflowDropsTheNewest()
    {
        Rig rig;
        QVERIFY(rig.ports.openPorts(0, 0));
        QList<QByteArray> sent;
        for (int i = 0; i < int(ReceiveQueue::DefaultSlots) + 2; ++i) {
            sent << sysEx(3 + i);
            rig.service().inject(sent.constLast());
        }
        QCOMPARE(rig.delivered(), sent.mid(0, int(ReceiveQueue::DefaultSlots)));
        QCOMPARE(rig.ports.droppedMessages(), std::uint64_t(2));
        rig.service().inject(sysEx(7));
        QCOMPARE(rig.delivered().constLast(), sysEx(7));
    }

    // Nothing here empties the queue: the MIDI thread's wake-up must bring
    // the sleeping loop round, long before the guard timer would.
    void arrivalWakesTheEventLoop()
    {
        Rig rig;
        QVERIFY(rig.ports.openPorts(0, 0));
        constexpr int Messages = 50;
        QEventLoop loop;
        QTimer guard;
        guard.setSingleShot(true);
        bool guardFired = false;
        connect(&guard, &QTimer::timeout, &loop, [&] {
            guardFired = true;
            loop.quit();
        });
        int received = 0;
        rig.ports.setReceiver([&](const std::uint8_t *, std::size_t) {
            if (++received == Messages)
                loop.quit();
        });
        guard.start(5000);
        std::thread midiThread([&] {
            for (int i = 0; i < Messages; ++i)
                rig.service().inject(sysEx(20 + i));
        });
        loop.exec();
        midiThread.join();
        QVERIFY(!guardFired);
        QCOMPARE(received, Messages);
        QCOMPARE(rig.ports.droppedMessages(), std::uint64_t(0));
    }

    void sendSysEx_data()
    {
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<bool>("driverAccepts");
        QTest::addColumn<bool>("sent");
        QTest::newRow("accepted") << sysEx(92) << true << true;
        QTest::newRow("shortest SysEx") << sysEx(2) << true << true;
        QTest::newRow("driver refuses") << sysEx(92) << false << false;
        QTest::newRow("no start byte") << QByteArray("\x01\x02\xf7") << true << false;
        QTest::newRow("no end byte") << QByteArray("\xf0\x01\x02") << true << false;
        QTest::newRow("status byte inside") << QByteArray("\xf0\x01\x90\xf7") << true << false;
    }
    void sendSysEx()
    {
        QFETCH(QByteArray, message);
        QFETCH(bool, driverAccepts);
        QFETCH(bool, sent);
        Rig rig;
        QVERIFY(rig.ports.openPorts(0, 0));
        rig.service().acceptSends = driverAccepts;
        QCOMPARE(send(rig, message), sent);
        QCOMPARE(rig.service().sent, sent ? QList<QByteArray>{message} : QList<QByteArray>{});
    }
};

QTEST_GUILESS_MAIN(TestMidiPorts)
#include "tst_midiports.moc"
