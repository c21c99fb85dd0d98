#include "devicelink.h"
#include "devicereplies.h"
#include "linkfaults.h"
#include "simmidiservice.h"

#include <QtTest>

namespace {

using Fault = LinkFaults::Fault;
const std::uint8_t PieceAck = DeviceReply::answerType(Command::PageData);

QByteArray ack(int n)
{
    return DeviceReply::status(PieceAck, std::uint8_t(n));
}

// Five piece acknowledgements with an erase answer in between, one command each.
std::vector<WireMessage> run(LinkFaults &faults, std::vector<QByteArray> *sent = nullptr)
{
    std::vector<WireMessage> wire;
    for (int n = 0; n < 5; ++n) {
        std::vector<QByteArray> replies{ack(n)};
        if (n == 1)
            replies.insert(replies.begin(), DeviceReply::status(DeviceReply::answerType(Command::EraseBlock), 0));
        if (sent)
            sent->insert(sent->end(), replies.begin(), replies.end());
        for (WireMessage &m : faults.apply(replies))
            wire.push_back(std::move(m));
    }
    return wire;
}

} // namespace

Q_DECLARE_METATYPE(LinkFaults::Fault)

class TestLinkFaults : public QObject
{
    Q_OBJECT

    DeviceLink link{std::make_unique<SimMidiService>()};

    ReplyCode decode(const QByteArray &m)
    {
        return link.decodeReply(reinterpret_cast<const std::uint8_t *>(m.constData()), int(m.size()));
    }

private slots:
    void oneShot_data()
    {
        QTest::addColumn<Fault>("fault");
        QTest::addColumn<int>("messages");  // on the wire, of the 6 replies
        QTest::newRow("lose") << Fault::Lose << 5;
        QTest::newRow("late") << Fault::Late << 6;
        QTest::newRow("duplicate") << Fault::Duplicate << 7;
        QTest::newRow("corrupt") << Fault::Corrupt << 6;
        QTest::newRow("cut short") << Fault::CutShort << 6;
        QTest::newRow("foreign first") << Fault::Foreign << 7;
        QTest::newRow("stub first") << Fault::Short << 7;
        QTest::newRow("vanish") << Fault::Vanish << 3;
    }
    void oneShot()
    {
        QFETCH(Fault, fault);
        LinkFaults faults;
        faults.inject(fault, PieceAck, 3);  // the third piece ack, the fourth reply
        std::vector<QByteArray> sent;
        const auto wire = run(faults, &sent);
        QTEST(int(wire.size()), "messages");
        QCOMPARE(faults.count(fault), 1);
        QCOMPARE(faults.vanished(), fault == Fault::Vanish);
        // Replies before the struck one pass untouched, and so do those after it.
        for (int i = 0; i < 3; ++i)
            QCOMPARE(wire[std::size_t(i)].bytes, sent[std::size_t(i)]);
        if (fault != Fault::Vanish)
            QCOMPARE(wire.back().bytes, sent.back());

        const QByteArray struck = sent[3];
        const QByteArray &got = wire[3].bytes;
        switch (fault) {
        case Fault::Lose: QCOMPARE(got, sent[4]); break;
        case Fault::Late: QVERIFY(wire[3].late); QCOMPARE(got, struck); break;
        case Fault::Duplicate: QCOMPARE(got, struck); QCOMPARE(wire[4].bytes, struck); break;
        case Fault::Corrupt: {
            QCOMPARE(got.size(), struck.size());
            int differ = 0;
            for (int i = 0; i < got.size(); ++i)
                differ += got[i] != struck[i];
            QCOMPARE(differ, 1);
            QCOMPARE(got.front(), struck.front());
            QCOMPARE(got.back(), struck.back());
            for (int i = 1; i + 1 < got.size(); ++i)
                QVERIFY(quint8(got[i]) < 0x80);
            break;
        }
        case Fault::CutShort:
            QVERIFY(got.size() < struck.size());
            QCOMPARE(got.chopped(1), struck.left(got.size() - 1));
            QCOMPARE(quint8(got.back()), quint8(0xF7));
            break;
        case Fault::Foreign:
        case Fault::Short:
            QCOMPARE(decode(got), ReplyNone);  // nothing a receiver may act on
            QCOMPARE(wire[4].bytes, struck);
            break;
        case Fault::Vanish: break;
        }
    }

    void seedRepeatsTheRun()
    {
        const LinkFaults::Rates rates{0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.0};
        LinkFaults a(rates, 42), b(rates, 42), c(rates, 43);
        std::vector<QByteArray> wa, wb, wc;
        for (int n = 0; n < 300; ++n) {
            for (const auto &m : a.apply({ack(n % 100)})) wa.push_back(m.bytes + char(m.late));
            for (const auto &m : b.apply({ack(n % 100)})) wb.push_back(m.bytes + char(m.late));
            for (const auto &m : c.apply({ack(n % 100)})) wc.push_back(m.bytes + char(m.late));
        }
        QVERIFY(wa == wb);
        QVERIFY(wa != wc);
    }

    void ratesAreHonoured_data()
    {
        QTest::addColumn<double>("rate");
        QTest::addColumn<int>("least");
        QTest::addColumn<int>("most");
        QTest::newRow("never") << 0.0 << 0 << 0;
        QTest::newRow("a quarter") << 0.25 << 400 << 600;
        QTest::newRow("always") << 1.0 << 2000 << 2000;
    }
    void ratesAreHonoured()
    {
        QFETCH(double, rate);
        QFETCH(int, least);
        QFETCH(int, most);
        LinkFaults::Rates rates;
        rates.lose = rate;
        LinkFaults faults(rates, 7);
        int arrived = 0;
        for (int n = 0; n < 2000; ++n)
            arrived += int(faults.apply({ack(1)}).size());
        QCOMPARE(arrived + faults.count(Fault::Lose), 2000);
        QVERIFY2(faults.count(Fault::Lose) >= least && faults.count(Fault::Lose) <= most,
                 qPrintable(QString::number(faults.count(Fault::Lose))));
    }
};

QTEST_GUILESS_MAIN(TestLinkFaults)
#include "tst_linkfaults.moc"
