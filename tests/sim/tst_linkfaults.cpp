#include "devicelink.h"
#include "devicereplies.h"
#include "linkfaults.h"
#include "testmidiservice.h"

#include <QtTest>

namespace {

using Fault = LinkFaults::Fault;
const std::uint8_t PieceAck = DeviceReply::answerType(Command::PageData);

QByteArray ack(int n)
{
    return DeviceReply::status(PieceAck, std::uint8_t(n));
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
        QTest::addColumn<int>("messages"); // on the wire, of the 5 replies
        QTest::newRow("lose") << Fault::Lose << 4;
        QTest::newRow("late") << Fault::Late << 5;
        QTest::newRow("duplicate") << Fault::Duplicate << 6;
        QTest::newRow("corrupt") << Fault::Corrupt << 5;
        QTest::newRow("cut short") << Fault::CutShort << 5;
        QTest::newRow("foreign first") << Fault::Foreign << 6;
        QTest::newRow("stub first") << Fault::Short << 6;
        QTest::newRow("vanish") << Fault::Vanish << 2;
    }
    void oneShot()
    {
        QFETCH(Fault, fault);
        LinkFaults faults;
        // The second piece ack is the third reply: an erase answer comes between.
        faults.inject(fault, PieceAck, 2);
        const std::vector<QByteArray> sent{ack(0), DeviceReply::status(DeviceReply::answerType(Command::EraseBlock), 0),
                                           ack(1), ack(2), ack(3)};
        std::vector<WireMessage> wire;
        for (const QByteArray &reply : sent) {
            for (WireMessage &m : faults.apply({reply}))
                wire.push_back(std::move(m));
        }
        QTEST(int(wire.size()), "messages");
        QCOMPARE(faults.count(fault), 1);
        QCOMPARE(faults.vanished(), fault == Fault::Vanish);
        QCOMPARE(wire[0].bytes, sent[0]);
        QCOMPARE(wire[1].bytes, sent[1]);
        if (fault == Fault::Vanish)
            return;
        QCOMPARE(wire.back().bytes, sent.back());
        for (const WireMessage &m : wire)
            QCOMPARE(m.late, fault == Fault::Late && m.bytes == sent[2]);

        const QByteArray &got = wire[2].bytes;
        const QByteArray &next = wire[3].bytes;
        DeviceLink link{std::make_unique<TestMidiService>()};
        switch (fault) {
        case Fault::Lose: QCOMPARE(got, sent[3]); break;
        case Fault::Late: QCOMPARE(got, sent[2]); break;
        case Fault::Duplicate: QCOMPARE(got, sent[2]); QCOMPARE(next, sent[2]); break;
        case Fault::Corrupt: {
            QCOMPARE(got.size(), sent[2].size());
            int differ = 0;
            for (int i = 0; i < got.size(); ++i)
                differ += got[i] != sent[2][i];
            QCOMPARE(differ, 1);
            QVERIFY(got.front() == sent[2].front() && got.back() == sent[2].back());
            QVERIFY(std::none_of(got.begin() + 1, got.end() - 1, [](char b) { return quint8(b) >= 0x80; }));
            break;
        }
        case Fault::CutShort:
            QVERIFY(got.size() < sent[2].size());
            QCOMPARE(got.chopped(1), sent[2].left(got.size() - 1));
            QCOMPARE(quint8(got.back()), quint8(0xF7));
            break;
        default: // a foreign message or a stub first: nothing a receiver may act on
            QCOMPARE(link.takeReply(got), ReplyNone);
            QCOMPARE(next, sent[2]);
        }
    }

    void seededRatesRepeat()
    {
        LinkFaults::Rates rates;
        rates.lose = rates.late = rates.duplicate = rates.corrupt = rates.cutShort = rates.foreign =
            rates.shortMessage = 0.25;
        const auto run = [](LinkFaults &faults) {
            std::vector<QByteArray> wire;
            for (int n = 0; n < 2000; ++n) {
                for (const WireMessage &m : faults.apply({ack(n % 100)}))
                    wire.push_back(m.bytes + char(m.late));
            }
            return wire;
        };
        LinkFaults a(rates, 42), b(rates, 42), c(rates, 43);
        const std::vector<QByteArray> wire = run(a);
        QVERIFY(wire == run(b));
        QVERIFY(wire != run(c));
        // A lost message meets no later fault, so those strike about 3/16 of the time.
        for (int f = 0; f < int(Fault::Vanish); ++f)
            QVERIFY2(a.count(Fault(f)) > 300 && a.count(Fault(f)) < 600, qPrintable(LinkFaults::name(Fault(f))));
        QCOMPARE(a.count(Fault::Vanish), 0);
    }
};

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
