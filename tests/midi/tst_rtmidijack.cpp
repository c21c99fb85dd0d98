#include "messagesink.h"
#include "midiports.h"
#include "privatejackserver.h"
#include "rtmidiservice.h"

#include <QRegularExpression>
#include <QTest>

// Over a JACK server of the test's own: MidiPorts on RtMidiService talks to a
// "device" made of two virtual RtMidi ports in this process.

namespace {

constexpr int ArrivalMs = 3000;

QByteArray sysEx(int length, char fill = 0x11)
{
    QByteArray out(length, fill);
    out[0] = char(0xF0);
    out[length - 1] = char(0xF7);
    return out;
}

class Device
{
public:
    Device()
    {
        in.ignoreTypes(false, true, true);
        in.openVirtualPort("device in");
        out.openVirtualPort("device out");
    }
    // Closed before destruction: RtMidi's JACK destructor may race the JACK thread.
    ~Device() { in.closePort(); out.closePort(); }
    void send(const QByteArray &m) { out.sendMessage(reinterpret_cast<const unsigned char *>(m.data()), m.size()); }
    QList<QByteArray> received()
    {
        for (std::vector<unsigned char> m; in.getMessage(&m), !m.empty();)
            got << QByteArray(reinterpret_cast<const char *>(m.data()), qsizetype(m.size()));
        return got;
    }

private:
    RtMidiIn in{RtMidi::UNIX_JACK, "device"};
    RtMidiOut out{RtMidi::UNIX_JACK, "device"};
    QList<QByteArray> got;
};

struct Link
{
    // The device's output is our input, and the other way round.
    int deviceIn() const { return int(ports.portNames(true).indexOf(QRegularExpression(".*device out"))); }
    int deviceOut() const { return int(ports.portNames(false).indexOf(QRegularExpression(".*device in"))); }
    bool send(const QByteArray &m)
    {
        return ports.sendSysEx(reinterpret_cast<const std::uint8_t *>(m.data()), std::size_t(m.size()));
    }

    MidiPorts ports{std::make_unique<RtMidiService>(QStringLiteral("jack"))};
    MessageSink sink{ports};
};

} // namespace

class TestRtMidiJack : public QObject
{
    Q_OBJECT

    PrivateJackServer server{QStringLiteral("qel-midi-test")};

private slots:
    void initTestCase()
    {
        QEL_START_JACK(server);
    }
    void cleanupTestCase() { server.stop(); }

    void sysExBothWaysOnStableIndexes()
    {
        // JACK gives a new port the lowest free slot, so our own input could
        // appear before the device's port and take its index.
        auto other = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "other");
        other->openVirtualPort("other in");
        Device device;
        Link link;
        other.reset();
        const QStringList inNames = link.ports.portNames(true), outNames = link.ports.portNames(false);
        QVERIFY(link.ports.openPorts(link.deviceIn(), link.deviceOut()));
        QVERIFY(link.ports.portNames(true) == inNames && link.ports.portNames(false) == outNames);

        const QByteArray pageData = sysEx(92);
        const QByteArray longest = sysEx(16379, 0x22);
        QVERIFY(link.send(pageData));
        QTRY_COMPARE_WITH_TIMEOUT(device.received(), QList<QByteArray>{pageData}, ArrivalMs);
        // Alone in its JACK period, since two would not fit the port buffer.
        QVERIFY(!link.send(sysEx(16380))); // RtMidi would drop it without a word
        QVERIFY(link.send(longest));
        QTRY_COMPARE_WITH_TIMEOUT(device.received(), QList<QByteArray>({pageData, longest}), ArrivalMs);

        const QByteArray answer = sysEx(12, 0x33);
        const QByteArray tooLong = sysEx(1500, 0x44);
        device.send(QByteArray("\x90\x40\x7f")); // note on: no event
        device.send(answer);
        device.send(tooLong);
        QTRY_COMPARE_WITH_TIMEOUT(link.sink.messages.size(), 2, ArrivalMs);
        QCOMPARE(link.sink.messages, QList<QByteArray>({answer, tooLong.left(MidiPorts::ReceiveBufferSize)}));
        QVERIFY(link.sink.allOnOwnThread);

        // JACK itself would call a port past the end open, connected to nothing.
        QVERIFY(!link.ports.openPorts(link.deviceIn(), int(outNames.size())));
        QVERIFY(!link.ports.isOutOpen());
        device.send(answer);
        QTRY_COMPARE_WITH_TIMEOUT(link.sink.messages.size(), 3, ArrivalMs);
    }

    // Must stay last: it stops the server.
    void serverGoneSendFailsAtOnce()
    {
        Device device;
        Link link;
        QVERIFY(link.ports.openPorts(link.deviceIn(), link.deviceOut()));
        server.stop();
        QTRY_VERIFY_WITH_TIMEOUT(!link.ports.isOutOpen(), ArrivalMs);
        // More than RtMidi's ring buffer holds: a send that reached RtMidi would
        // spin for ever once it filled.
        for (int i = 0; i < 400; ++i)
            QVERIFY(!link.send(sysEx(92)));
        QVERIFY(!link.ports.inPortName(0) && !link.ports.openPorts(0, 0));
    }
};

QTEST_GUILESS_MAIN(TestRtMidiJack)
#include "tst_rtmidijack.moc"
