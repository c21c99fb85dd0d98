#include "devicereplies.h"
#include "inbox.h"
#include "linkfaults.h"
#include "qtbytes.h"
#include "simloop.h"
#include "simloopservice.h"
#include "simmidiservice.h"

#include <QtTest>

#include <atomic>
#include <optional>

namespace {

using Fault = LinkFaults::Fault;
const std::uint8_t PieceAck = DeviceReply::answerType(Command::PageData);
constexpr int Altered = -1; // the struck reply, changed
constexpr int Junk = -2;    // something no receiver may act on

QByteArray ack(int n)
{
    return toQByteArray(DeviceReply::status(PieceAck, std::uint8_t(n)));
}

} // namespace

Q_DECLARE_METATYPE(LinkFaults::Fault)

class TestLinkFaults : public QObject
{
    Q_OBJECT

private slots:
    void oneShot_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<QList<int>>("wire"); // indexes of the replies sent, in order
        QTest::newRow("lose") << Fault::Lose << QList<int>{0, 1, 3, 4};
        QTest::newRow("late") << Fault::Late << QList<int>{0, 1, 2, 3, 4};
        QTest::newRow("duplicate") << Fault::Duplicate << QList<int>{0, 1, 2, 2, 3, 4};
        QTest::newRow("corrupt") << Fault::Corrupt << QList<int>{0, 1, Altered, 3, 4};
        QTest::newRow("cut short") << Fault::CutShort << QList<int>{0, 1, Altered, 3, 4};
        QTest::newRow("foreign first") << Fault::Foreign << QList<int>{0, 1, Junk, 2, 3, 4};
        QTest::newRow("stub first") << Fault::Short << QList<int>{0, 1, Junk, 2, 3, 4};
        QTest::newRow("vanish") << Fault::Vanish << QList<int>{0, 1};
    }
    void oneShot()
    {
        QFETCH(Fault, fault);
        QFETCH(QList<int>, wire);
        LinkFaults faults;
        // The second piece ack is the third reply: an erase answer comes between.
        faults.inject(fault, PieceAck, 2);
        const QList<QByteArray> sent{ack(0), toQByteArray(DeviceReply::status(DeviceReply::answerType(Command::EraseBlock), 0)),
                                     ack(1), ack(2), ack(3)};
        std::vector<WireMessage> got;
        for (const QByteArray &reply : sent) {
            for (WireMessage &m : faults.apply({toBytes(reply)}))
                got.push_back(std::move(m));
        }
        QCOMPARE(faults.count(fault), 1);
        QCOMPARE(faults.vanished(), fault == Fault::Vanish);
        QCOMPARE(int(got.size()), wire.size());
        for (int i = 0; i < wire.size(); ++i) {
            const QByteArray m = toQByteArray(got[std::size_t(i)].bytes);
            QCOMPARE(got[std::size_t(i)].late, fault == Fault::Late && wire[i] == 2);
            if (wire[i] >= 0) {
                QCOMPARE(m, sent[wire[i]]);
            } else if (wire[i] == Junk) {
                QCOMPARE(decoded(m).code, ReplyNone);
            } else { // still one message on the wire, and no longer the one sent
                QVERIFY(m != sent[2] && m.front() == sent[2].front() && quint8(m.back()) == 0xF7);
                QVERIFY(std::none_of(m.begin() + 1, m.end() - 1, [](char b) { return quint8(b) >= 0x80; }));
                if (fault == Fault::CutShort)
                    QVERIFY(sent[2].startsWith(m.chopped(1)));
                else
                    QCOMPARE(m.size(), sent[2].size());
            }
        }
    }

    // A lost command is taken by the port but never handled by the device, on
    // the caller's thread as on the device's own.
    void lostCommand_data()
    {
        QTest::addColumn<bool>("ownThread");
        QTest::newRow("same thread") << false;
        QTest::newRow("device thread") << true;
    }
    void lostCommand()
    {
        QFETCH(bool, ownThread);
        LinkFaults faults;
        faults.inject(Fault::LoseCommand, int(Command::Identify), 2);
        std::atomic<int> handled{0};
        SimDevice device;
        device.onCommand = [&handled](const std::string &) { ++handled; };
        const SysExMessage identify = buildIdentify();
        const QByteArray identity = toQByteArray(device.handle(identify.data(), identify.size()).front());
        handled = 0;

        SimLoop loop;
        std::optional<SimMidiService> threaded;
        std::unique_ptr<MidiService> sameThread;
        MidiService *service = nullptr;
        if (ownThread) {
            service = &threaded.emplace(device, faults);
        } else {
            loop.device = device;
            loop.faults = faults;
            sameThread = makeSimLoopService(loop);
            service = sameThread.get();
        }
        Inbox inbox;
        QVERIFY(service->openIn(0, inbox.callback()) && service->openOut(0));
        for (int n = 0; n < 3; ++n)
            QVERIFY(service->send(identify.data(), identify.size()));
        if (ownThread)
            threaded->worker().waitIdle();
        else
            loop.pump();
        QCOMPARE(inbox.received(), (QList<QByteArray>{identity, identity}));
        QCOMPARE(handled.load(), 2);
    }

    void seededRatesRepeat()
    {
        LinkFaults::Rates rates;
        rates.lose = rates.late = rates.duplicate = rates.corrupt = rates.cutShort = rates.foreign =
            rates.shortMessage = 0.25;
        const SysExMessage identify = buildIdentify();
        const Bytes command(identify.data(), identify.data() + identify.size());
        const auto run = [&command](LinkFaults &faults) {
            std::vector<QByteArray> wire;
            for (int n = 0; n < 2000; ++n) {
                if (faults.losesCommand(command))
                    wire.push_back("command lost");
                for (const WireMessage &m : faults.apply({toBytes(ack(n % 100))}))
                    wire.push_back(toQByteArray(m.bytes) + char(m.late));
            }
            return wire;
        };
        const auto withoutLostCommands = [](std::vector<QByteArray> wire) {
            wire.erase(std::remove(wire.begin(), wire.end(), QByteArray("command lost")), wire.end());
            return wire;
        };
        LinkFaults quiet(rates, 42);
        rates.loseCommand = 0.25;
        LinkFaults a(rates, 42), b(rates, 42), c(rates, 43);
        const std::vector<QByteArray> wire = run(a);
        QVERIFY(wire == run(b));
        QVERIFY(wire != run(c));
        // Losing commands leaves the replies' faults as the seed drew them.
        QVERIFY(withoutLostCommands(wire) == run(quiet));
        // A lost message meets no later fault, so those strike about 3/16 of the time.
        for (int f = 0; f < int(Fault::Vanish); ++f)
            QVERIFY2(a.count(Fault(f)) > 300 && a.count(Fault(f)) < 600, qPrintable(LinkFaults::name(Fault(f))));
        QVERIFY(a.count(Fault::LoseCommand) > 400 && a.count(Fault::LoseCommand) < 600);
        QCOMPARE(a.count(Fault::Vanish), 0);
    }
};

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
