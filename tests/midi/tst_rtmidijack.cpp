#include "eventsink.h"
#include "midiports.h"
#include "rtmidiservice.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <mutex>

// Over a JACK server of the test's own: MidiPorts on RtMidiService talks to a
// "device" made of two virtual RtMidi ports in this process.

namespace {

constexpr int ServerStartMs = 5000;
constexpr int ArrivalMs = 3000;
constexpr int PageDataLength = 92;

QByteArray sysEx(int length, int seed = 0)
{
    QByteArray out(length, 0);
    for (int i = 1; i < length - 1; ++i)
        out[i] = char((i * 7 + seed) & 0x7F);
    out[0] = char(0xF0);
    out[length - 1] = char(0xF7);
    return out;
}

const std::uint8_t *data(const QByteArray &message)
{
    return reinterpret_cast<const std::uint8_t *>(message.constData());
}

class Device
{
public:
    Device()
        : in(RtMidi::UNIX_JACK, "device"), out(RtMidi::UNIX_JACK, "device")
    {
        in.ignoreTypes(false, true, true);
        in.setCallback(&Device::onMessage, this);
        in.openVirtualPort("device in");
        out.openVirtualPort("device out");
    }
    ~Device()
    {
        in.closePort();
        out.closePort();
    }

    void send(const QByteArray &message)
    {
        out.sendMessage(data(message), std::size_t(message.size()));
    }

    QList<QByteArray> received() const
    {
        const std::lock_guard<std::mutex> lock(mutex);
        return got;
    }

private:
    static void onMessage(double, std::vector<unsigned char> *message, void *device)
    {
        auto *self = static_cast<Device *>(device);
        const std::lock_guard<std::mutex> lock(self->mutex);
        self->got << QByteArray(reinterpret_cast<const char *>(message->data()), qsizetype(message->size()));
    }

    RtMidiIn in;
    RtMidiOut out;
    mutable std::mutex mutex;
    QList<QByteArray> got;
};

struct Link
{
    Link()
    {
        ports.setReceiver(&sink);
    }

    // Index of the port whose name ends in `suffix`, or -1.
    template<typename Lookup>
    static int find(Lookup lookup, const QString &suffix)
    {
        for (int i = 0; std::optional<QString> name = lookup(i); ++i) {
            if (name->endsWith(suffix))
                return i;
        }
        return -1;
    }
    QStringList names(std::optional<QString> (MidiPorts::*lookup)(int) const) const
    {
        QStringList out;
        for (int i = 0; std::optional<QString> name = (ports.*lookup)(i); ++i)
            out << *name;
        return out;
    }
    int deviceOut() const { return find([this](int i) { return ports.inPortName(i); }, "device out"); }
    int deviceIn() const { return find([this](int i) { return ports.outPortName(i); }, "device in"); }

    EventSink sink;
    MidiPorts ports{std::make_unique<RtMidiService>(QStringLiteral("jack"))};
};

} // namespace

class TestRtMidiJack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sysExRoundTrip();
    void badIndexes();
    void ownPortsStayOutOfLists();
    void tooLongForJackIsRefused();
    // Must stay last: it stops the server.
    void serverGoneSendFailsAtOnce();

private:
    bool serverRunning();
    void stopServer();

    QString serverName;
    QProcess server;
};

bool TestRtMidiJack::serverRunning()
{
    QProcess probe;
    probe.start(QStringLiteral("jack_wait"), {"-s", serverName, "-c"});
    return probe.waitForFinished() && probe.readAllStandardOutput().trimmed() == "running";
}

void TestRtMidiJack::stopServer()
{
    if (server.state() == QProcess::NotRunning)
        return;
    server.terminate();
    if (!server.waitForFinished())
        server.kill();
    server.waitForFinished();
}

void TestRtMidiJack::initTestCase()
{
    if (QStandardPaths::findExecutable("jackd").isEmpty() || QStandardPaths::findExecutable("jack_wait").isEmpty())
        QSKIP("jackd or jack_wait is not installed");
    serverName = QStringLiteral("qel-midi-test-%1").arg(QCoreApplication::applicationPid());
    // Before any JACK client exists in this process.
    qputenv("JACK_DEFAULT_SERVER", serverName.toUtf8());

    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral("jackd"),
                 {"--no-realtime", "-n", serverName, "-d", "dummy", "-r", "48000", "-p", "64"});
    // A real server takes real time to come up; poll it, bounded.
    const QDeadlineTimer deadline(ServerStartMs);
    while (server.state() != QProcess::NotRunning && !serverRunning() && !deadline.hasExpired())
        QTest::qWait(10);
    if (server.state() == QProcess::NotRunning || !serverRunning()) {
        const QByteArray output = server.readAll();
        stopServer();
        QSKIP(qPrintable("JACK did not start: " + QString::fromLocal8Bit(output)));
    }
}

void TestRtMidiJack::cleanupTestCase()
{
    stopServer();
}

void TestRtMidiJack::sysExRoundTrip()
{
    Device device;
    Link link;
    const int inIndex = link.deviceOut();
    const int outIndex = link.deviceIn();
    QVERIFY(inIndex >= 0 && outIndex >= 0);
    QVERIFY(link.ports.openPorts(inIndex, outIndex));

    const QByteArray command = sysEx(PageDataLength);
    QVERIFY(link.ports.sendSysEx(data(command), std::size_t(command.size())));
    QTRY_COMPARE_WITH_TIMEOUT(device.received(), QList<QByteArray>{command}, ArrivalMs);

    const QByteArray answer = sysEx(12, 1);
    const QByteArray tooLong = sysEx(1500, 2);
    device.send(QByteArray("\x90\x40\x7f", 3)); // note on: no event
    device.send(answer);
    device.send(tooLong);
    QTRY_COMPARE_WITH_TIMEOUT(link.sink.messages.size(), 2, ArrivalMs);
    QCOMPARE(link.sink.messages, QList<QByteArray>({answer, tooLong.left(MidiPorts::ReceiveBufferSize)}));
    QVERIFY(link.sink.allOnOwnThread);
}

void TestRtMidiJack::badIndexes()
{
    Device device;
    Link link;
    const int inIndex = link.deviceOut();
    const int outCount = int(link.names(&MidiPorts::outPortName).size());
    QVERIFY(inIndex >= 0 && outCount > 0);

    // JACK itself would report this port open, connected to nothing.
    QVERIFY(!link.ports.openPorts(inIndex, outCount));
    QVERIFY(!link.ports.isOutOpen());
    QVERIFY(link.ports.isInOpen());

    const QByteArray answer = sysEx(12);
    device.send(answer);
    QTRY_COMPARE_WITH_TIMEOUT(link.sink.messages, QList<QByteArray>{answer}, ArrivalMs);
}

void TestRtMidiJack::ownPortsStayOutOfLists()
{
    // JACK gives a new port the lowest free slot, so without care our own
    // input would appear before the device's port and take its index.
    auto other = std::make_unique<RtMidiIn>(RtMidi::UNIX_JACK, "other");
    other->openVirtualPort("other in");
    Device device;
    Link link;
    other.reset();
    const QStringList inNames = link.names(&MidiPorts::inPortName);
    const QStringList outNames = link.names(&MidiPorts::outPortName);

    QVERIFY(link.ports.openPorts(link.deviceOut(), link.deviceIn()));

    QCOMPARE(link.names(&MidiPorts::inPortName), inNames);
    QCOMPARE(link.names(&MidiPorts::outPortName), outNames);
    const QByteArray command = sysEx(PageDataLength);
    QVERIFY(link.ports.sendSysEx(data(command), std::size_t(command.size())));
    QTRY_COMPARE_WITH_TIMEOUT(device.received(), QList<QByteArray>{command}, ArrivalMs);
}

void TestRtMidiJack::tooLongForJackIsRefused()
{
    Device device;
    Link link;
    QVERIFY(link.ports.openPorts(link.deviceOut(), link.deviceIn()));
    const QByteArray longest = sysEx(16379);
    const QByteArray tooLong = sysEx(16380);

    // RtMidi would drop it and say nothing.
    QVERIFY(!link.ports.sendSysEx(data(tooLong), std::size_t(tooLong.size())));
    QVERIFY(link.ports.sendSysEx(data(longest), std::size_t(longest.size())));
    QTRY_COMPARE_WITH_TIMEOUT(device.received(), QList<QByteArray>{longest}, ArrivalMs);
}

void TestRtMidiJack::serverGoneSendFailsAtOnce()
{
    Device device;
    Link link;
    QVERIFY(link.ports.openPorts(link.deviceOut(), link.deviceIn()));

    stopServer();
    QTRY_VERIFY_WITH_TIMEOUT(!link.ports.isOutOpen(), ArrivalMs);

    // More than RtMidi's ring buffer holds: a send that reached RtMidi would
    // spin for ever once it filled.
    const QByteArray command = sysEx(PageDataLength);
    for (int i = 0; i < 400; ++i)
        QVERIFY(!link.ports.sendSysEx(data(command), std::size_t(command.size())));
    QVERIFY(!link.ports.inPortName(0));
    QVERIFY(!link.ports.openPorts(0, 0));
}

QTEST_GUILESS_MAIN(TestRtMidiJack)
#include "tst_rtmidijack.moc"
