#include "devicelink.h"
#include "midiservicefactory.h"
#include "simmidiservice.h"
#include "sysex.h"

#include <QtTest>

#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <atomic>

namespace {

constexpr std::chrono::seconds Patience{5};

// Collects what the service delivers, from whatever thread it calls on.
class Inbox
{
public:
    MidiService::ReceiveCallback callback()
    {
        return [this](const std::uint8_t *data, std::size_t length) {
            std::lock_guard<std::mutex> lock(mutex);
            messages.append(QByteArray(reinterpret_cast<const char *>(data), int(length)));
            threads.insert(std::this_thread::get_id());
            arrived.notify_all();
        };
    }
    bool waitFor(int count)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, Patience, [&] { return messages.size() >= count; });
    }
    QList<QByteArray> received()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return messages;
    }
    bool onlyOtherThreads()
    {
        std::lock_guard<std::mutex> lock(mutex);
        return !threads.empty() && threads.count(std::this_thread::get_id()) == 0;
    }

private:
    std::mutex mutex;
    std::condition_variable arrived;
    QList<QByteArray> messages;
    std::set<std::thread::id> threads;
};

bool send(MidiService &service, const SysExMessage &message)
{
    return service.send(message.data(), message.size());
}

} // namespace

class TestSimMidiService : public QObject
{
    Q_OBJECT

    DeviceLink link{std::make_unique<SimMidiService>()};

    ReplyCode decode(const QByteArray &m)
    {
        return link.decodeReply(reinterpret_cast<const std::uint8_t *>(m.constData()), int(m.size()));
    }

private slots:
    void onePortEachWay()
    {
        SimMidiService service;
        QCOMPARE(service.inPortName(0), std::optional<QString>(SimMidiService::inPort()));
        QCOMPARE(service.outPortName(0), std::optional<QString>(SimMidiService::outPort()));
        QVERIFY(!service.inPortName(1));
        QVERIFY(!service.outPortName(-1));
        Inbox inbox;
        QVERIFY(!service.openIn(1, inbox.callback()));
        QVERIFY(!service.openOut(1));
        QVERIFY(!send(service, buildIdentify()));  // nothing open to send on
        QVERIFY(service.openOut(0));
        QVERIFY(service.isOutOpen() && !service.isInOpen());
    }

    void repliesComeFromTheServiceThreadInOrder()
    {
        SimMidiService service;
        Inbox inbox;
        QVERIFY(service.openIn(0, inbox.callback()));
        QVERIFY(service.openOut(0));
        QVERIFY(send(service, buildIdentify()));
        QVERIFY(send(service, buildResetNand(1, 9, 1000)));
        QVERIFY(send(service, buildReadChunk(0, 0)));
        QVERIFY(inbox.waitFor(4));
        const auto got = inbox.received();
        QCOMPARE(decode(got[0]), ReplyIdentify);
        QCOMPARE(decode(got[1]), ReplyTransferOn);
        QCOMPARE(decode(got[2]), ReplyResetNand);
        QCOMPARE(decode(got[3]), ReplyReadChunk);
        QCOMPARE(link.replyData()[0], std::uint8_t(0xA5));  // the shipped list copy
        QVERIFY(inbox.onlyOtherThreads());
    }

    void noCallbackAfterCloseIn()
    {
        SimMidiService service;
        Inbox inbox;
        std::promise<void> inside, gate;
        std::shared_future<void> opened = gate.get_future().share();
        auto collect = inbox.callback();
        std::atomic<int> calls{0};
        std::atomic<int> returned{0};
        QVERIFY(service.openIn(0, [&](const std::uint8_t *data, std::size_t length) {
            collect(data, length);
            if (++calls == 1) {  // hold the service thread with the rest still queued
                inside.set_value();
                opened.wait_for(Patience);
            }
            ++returned;
        }));
        QVERIFY(service.openOut(0));
        for (int i = 0; i < 500; ++i)
            send(service, buildIdentify());
        QCOMPARE(inside.get_future().wait_for(Patience), std::future_status::ready);
        gate.set_value();
        service.closeIn();
        const int atClose = calls;
        QCOMPARE(returned.load(), atClose);  // closing waited for the callback under way
        service.worker().waitIdle();
        QCOMPARE(calls.load(), atClose);
    }

    void lateReplyDoesNotHoldUpShutdown()
    {
        QElapsedTimer clock;
        clock.start();
        {
            LinkFaults faults;
            faults.inject(LinkFaults::Fault::Late, LinkFaults::AnyType, 1);
            std::promise<void> handled;
            SimDevice device;
            device.onCommand = [&handled](const QString &) { handled.set_value(); };
            SimMidiService service(std::move(device), faults);
            Inbox inbox;
            service.openIn(0, inbox.callback());
            service.openOut(0);
            send(service, buildIdentify());
            // The reply is now on its way into the 3 s delay.
            QCOMPARE(handled.get_future().wait_for(Patience), std::future_status::ready);
        }
        QVERIFY(clock.elapsed() < 1000);  // well short of the 3 s delay
    }

    void lateReplyStillArrives()
    {
        LinkFaults faults;
        faults.inject(LinkFaults::Fault::Late, LinkFaults::AnyType, 1);
        SimMidiService service(SimDevice{}, faults);
        service.worker().setLateDelay(std::chrono::milliseconds(20));
        Inbox inbox;
        service.openIn(0, inbox.callback());
        service.openOut(0);
        send(service, buildIdentify());
        send(service, buildFinish());
        QVERIFY(inbox.waitFor(2));
        QCOMPARE(decode(inbox.received()[0]), ReplyIdentify);  // the device is slow, not reordered
    }

    void vanishedPortIsGone()
    {
        LinkFaults faults;
        faults.inject(LinkFaults::Fault::Vanish, LinkFaults::AnyType, 2);
        SimMidiService service(SimDevice{}, faults);
        Inbox inbox;
        service.openIn(0, inbox.callback());
        service.openOut(0);
        QVERIFY(send(service, buildIdentify()));
        QVERIFY(send(service, buildIdentify()));
        service.worker().waitIdle();
        QCOMPARE(inbox.received().size(), 1);
        QVERIFY(!send(service, buildIdentify()));
        QVERIFY(!service.isInOpen() && !service.isOutOpen());
        QVERIFY(!service.inPortName(0) && !service.outPortName(0));
        QVERIFY(!service.openOut(0));
    }

    void factoryPicksTheService_data()
    {
        QTest::addColumn<QString>("api");
        QTest::addColumn<bool>("simulated");
        QTest::newRow("sim") << "sim" << true;
        QTest::newRow("SIM, padded") << " SIM " << true;
        QTest::newRow("alsa") << "alsa" << false;
    }
    void factoryPicksTheService()
    {
        QFETCH(QString, api);
        QFETCH(bool, simulated);
        QCOMPARE(dynamic_cast<SimMidiService *>(createMidiService(api).get()) != nullptr, simulated);
        qputenv("QEL_MIDI_API", api.toUtf8());
        QCOMPARE(dynamic_cast<SimMidiService *>(createMidiServiceFromEnvironment().get()) != nullptr, simulated);
        qunsetenv("QEL_MIDI_API");
    }
};

QTEST_GUILESS_MAIN(TestSimMidiService)
#include "tst_simmidiservice.moc"
