#include "badblocklist.h"

#include <QTest>

#include <set>
#include <vector>

using Blocks = std::set<int>;
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

Blocks badSet(const BadBlockList &list)
{
    Blocks bad;
    for (int b = 0; b < BadBlockList::BlockCount; ++b)
        if (list.isBad(b))
            bad.insert(b);
    return bad;
}

} // namespace

class TestBadBlockList : public QObject
{
    Q_OBJECT

private slots:
    void storedCopy_data()
    {
        QTest::addColumn<int>("marker"); // first two data bytes, as one word
        QTest::addColumn<std::vector<int>>("entries");
        QTest::addColumn<bool>("intact");
        QTest::addColumn<Blocks>("bad"); // as loaded
        QTest::newRow("ascending") << 0xA5A5 << std::vector<int>{0, 5, 1023} << true << Blocks{0, 5, 1023};
        // An entry that breaks off ends the list; those before it still count.
        QTest::newRow("1024 breaks off") << 0xA5A5 << std::vector<int>{5, 1024, 9} << true << Blocks{5};
        QTest::newRow("nothing after the filler") << 0xA5A5 << std::vector<int>{5, 0xFFFF, 7} << true << Blocks{5};
        QTest::newRow("out of order breaks off") << 0xA5A5 << std::vector<int>{40, 2, 50} << true << Blocks{40};
        QTest::newRow("twice the same breaks off") << 0xA5A5 << std::vector<int>{5, 5, 9} << true << Blocks{5};
        QTest::newRow("first marker torn") << 0x25A5 << std::vector<int>{5} << false << Blocks{5};
        QTest::newRow("second marker torn") << 0xA525 << std::vector<int>{5} << false << Blocks{5};
        std::vector<int> full;
        for (int b = 8; b <= 126 * 8; b += 8)
            full.push_back(b);
        QTest::newRow("126 entries fill the chunk") << 0xA5A5 << full << true << Blocks(full.begin(), full.end());
    }
    // Whether a page of block 0 holds a whole copy, and what loading it gives.
    void storedCopy()
    {
        QFETCH(int, marker);
        QFETCH(std::vector<int>, entries);
        QFETCH(Blocks, bad);
        std::array<std::uint8_t, 256> chunk;
        chunk.fill(0xFF);
        const auto put = [&](std::size_t at, int word) { chunk[at] = word & 0xFF, chunk[at + 1] = word >> 8; };
        chunk[0] = std::uint8_t(marker >> 8), chunk[1] = std::uint8_t(marker);
        put(2, 0x0102);
        for (std::size_t i = 0; i < entries.size(); ++i)
            put(4 + 2 * i, entries[i]);

        QTEST(BadBlockList::intactCopy(chunk.data()), "intact");
        BadBlockList list;
        list.markBad(77); // a copy replaces the table, it does not add to it
        QList<TraceLine> lines;
        list.loadBblCopy(chunk.data(), [&](const TraceLine &line) { lines << line; });
        QCOMPARE(badSet(list), bad);
        QCOMPARE(int(list.factoryDefects()), 0x0102);
        QVERIFY(lines.mid(int(bad.size())) == (QList<TraceLine>{{TraceKind::BblContains, int(bad.size())},
                                                                {TraceKind::FactoryDefectsWas, 0x0102}}));
    }

    void nextGoodBlock_data()
    {
        QTest::addColumn<Blocks>("bad"); // marked at run time; 0 and 1024 must be refused
        QTest::addColumn<int>("after");
        QTest::addColumn<int>("expected");
        QTest::newRow("0 to 2 bad") << Blocks{0, 1, 2} << 0 << 3;
        QTest::newRow("below 0 gives 1") << Blocks{} << -5 << 1;
        QTest::newRow("never downward") << Blocks{1, 11, 12} << 10 << 13;
        QTest::newRow("1023 bad, no wrap") << Blocks{1023} << 1022 << int(BadBlockList::NoBlock);
        QTest::newRow("1024 is no block") << Blocks{1024} << 1022 << 1023;
    }
    void nextGoodBlock()
    {
        QFETCH(Blocks, bad);
        QFETCH(int, after);
        BadBlockList list;
        for (int b : bad)
            list.markBad(b);
        QTEST(list.nextGoodBlock(after), "expected");
        // Only data blocks can go bad at run time, and doing so changes the list.
        QVERIFY(!list.isBad(0));
        QCOMPARE(list.changed(), bad.upper_bound(0) != bad.lower_bound(BadBlockList::BlockCount));
    }
};

QTEST_APPLESS_MAIN(TestBadBlockList)
#include "tst_badblocklist.moc"
