#include "devicereplies.h"
#include "inbox.h"
#include "qtbytes.h"
#include "simmidiservice.h"
#include "simsetup.h"
#include "sysex.h"

#include <QtTest>

#include <atomic>
#include <future>
#include <optional>

namespace {

using Fault = LinkFaults::Fault;

bool send(MidiService &service, const SysExMessage &message)
{
    return service.send(message.data(), message.size());
}

LinkFaults oneFault(Fault fault, int nth)
{
    LinkFaults faults;
    faults.inject(fault, LinkFaults::AnyType, nth);
    return faults;
}

} // namespace

class TestSimMidiService : public QObject
{
    Q_OBJECT

private slots:
    void repliesInOrderFromTheServiceThread()
    {
        SimMidiService service;
        Inbox inbox;
        QVERIFY(!service.inPortName(1) && !service.openIn(1, inbox.callback()) && !service.openOut(1));
        QVERIFY(!send(service, buildIdentify())); // nothing open to send on
        QVERIFY(service.openIn(0, inbox.callback()) && service.openOut(0));
        // What a device as shipped answers, unchanged and in order.
        SimDevice twin;
        twin.storeListCopies(1, {}, 0);
        QList<QByteArray> expected;
        for (const SysExMessage &m : {buildIdentify(), buildResetNand(1, 9, 1000), buildReadChunk(0, 0)}) {
            QVERIFY(send(service, m));
            for (const Bytes &reply : twin.handle(m.data(), m.size()))
                expected << toQByteArray(reply);
        }
        service.worker().waitIdle();
        QCOMPARE(inbox.received(), expected);
        QVERIFY(inbox.onlyOtherThreads());
    }

    void closeInWaitsForTheCallbackUnderWay()
    {
        SimMidiService service;
        std::promise<void> entered, gate;
        const std::shared_future<void> opened = gate.get_future().share();
        std::atomic<int> calls{0};
        std::atomic<bool> inside{false};
        QVERIFY(service.openIn(0, [&](const std::uint8_t *, std::size_t) {
            inside = true;
            if (++calls == 1) { // hold the service thread with the rest still queued
                entered.set_value();
                opened.wait_for(Inbox::Patience);
            }
            inside = false;
        }));
        QVERIFY(service.openOut(0));
        for (int i = 0; i < 500; ++i)
            send(service, buildIdentify());
        QCOMPARE(entered.get_future().wait_for(Inbox::Patience), std::future_status::ready);
        auto closing = std::async(std::launch::async, [&] { service.closeIn(); return inside.load(); });
        // Still closing while the callback is held; a busy machine can hide that fault, never fake it.
        QCOMPARE(closing.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
        gate.set_value();
        QVERIFY(!closing.get());
        const int atClose = calls;
        service.worker().waitIdle();
        QCOMPARE(calls.load(), atClose);
    }

    void lateReplyArrivesInOrderAndNeverHoldsUpShutdown()
    {
        Inbox inbox;
        std::promise<void> handled;
        {
            SimMidiService service(SimDevice{}, oneFault(Fault::Late, 1));
            service.worker().setLateDelay(std::chrono::milliseconds(20));
            QVERIFY(service.openIn(0, inbox.callback()) && service.openOut(0));
            send(service, buildIdentify());
            send(service, buildFinish());
            QVERIFY(inbox.waitFor(2));
            const std::uint8_t first = std::uint8_t(inbox.received()[0].at(SysEx::CommandOffset));
            QCOMPARE(first, DeviceReply::answerType(Command::Identify)); // slow, not reordered

            service.worker().withFaults([](LinkFaults &f) { f.inject(Fault::Late, LinkFaults::AnyType, 3); });
            service.worker().withDevice([&](SimDevice &d) { d.onCommand = [&](const std::string &) { handled.set_value(); }; });
            service.worker().setLateDelay(std::chrono::hours(1));
            send(service, buildIdentify());
            QCOMPARE(handled.get_future().wait_for(Inbox::Patience), std::future_status::ready);
        } // a worker that waited out the hour would hang here until ctest's time-out
        QCOMPARE(inbox.received().size(), 2);
    }

    void vanishedPortIsGone()
    {
        SimMidiService service(SimDevice{}, oneFault(Fault::Vanish, 2));
        Inbox inbox;
        QVERIFY(service.openIn(0, inbox.callback()) && service.openOut(0));
        QVERIFY(send(service, buildIdentify()) && send(service, buildIdentify()));
        service.worker().waitIdle();
        QCOMPARE(inbox.received().size(), 1);
        QVERIFY(!send(service, buildIdentify()));
        QVERIFY(!service.isInOpen() && !service.isOutOpen() && !service.inPortName(0) && !service.openOut(0));
    }

    void servicesOnOneWorldShareItsDevices()
    {
        qputenv("QEL_SIM_DEVICES", "3");
        const std::shared_ptr<SimWorld> world = createSimWorldFromEnvironment();
        qunsetenv("QEL_SIM_DEVICES");
        const auto serialOf = [&](int k) {
            return world->worker(k).withDevice([](SimDevice &d) { return d.identity().serialNumber; });
        };
        QSet<std::string> serials;
        for (int k = 0; k < 3; ++k)
            serials << formatSerial(serialOf(k));
        QCOMPARE(serials.size(), 3);

        SimMidiService a(world), c(world);
        std::optional<SimMidiService> b(std::in_place, world);
        const QStringList ins = a.portNames(true, 99), outs = a.portNames(false, 99);
        QCOMPARE(ins.size(), 3);
        QCOMPARE(b->portNames(true, 99), ins);
        QCOMPARE(b->portNames(false, 99), outs);
        QCOMPARE(QSet<QString>(ins.begin(), ins.end()).unite(QSet<QString>(outs.begin(), outs.end())).size(), 6);

        // Device 2 answers on every input open on it, and on no other.
        Inbox onA, onB, onC;
        QVERIFY(a.openIn(2, onA.callback()) && b->openIn(2, onB.callback()) && c.openIn(1, onC.callback()));
        QVERIFY(a.openOut(2) && send(a, buildIdentify()));
        world->worker(2).waitIdle();
        for (Inbox *inbox : {&onA, &onB}) {
            QCOMPARE(inbox->received().size(), 1);
            QCOMPARE(decoded(inbox->received().first()).serialNumber, serialOf(2));
        }
        b->closeIn();
        QVERIFY(send(a, buildIdentify()));
        world->worker(2).waitIdle();
        QCOMPARE(onA.received().size(), 2);
        QCOMPARE(onB.received().size(), 1);

        // One service going while replies flow leaves the other hearing them all.
        QVERIFY(b->openIn(2, onB.callback()));
        for (int i = 0; i < 200; ++i)
            send(a, buildIdentify());
        b.reset();
        world->worker(2).waitIdle();
        QCOMPARE(onA.received().size(), 202);

        // Device 0 unplugged: the ports after it move up, what was open stays on its device.
        world->worker(0).withFaults([](LinkFaults &f) { f.inject(Fault::Vanish, LinkFaults::AnyType, 1); });
        QVERIFY(c.openOut(0) && send(c, buildIdentify()));
        world->worker(0).waitIdle();
        QCOMPARE(a.portNames(true, 99), ins.mid(1));
        QVERIFY(send(a, buildIdentify()) && c.isInOpen());
        world->worker(2).waitIdle();
        QCOMPARE(onA.received().size(), 203);
        QVERIFY(onC.received().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestSimMidiService)
#include "tst_simmidiservice.moc"
