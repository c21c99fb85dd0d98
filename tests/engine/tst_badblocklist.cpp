#include "badblocklist.h"

#include <QTest>

#include <set>
#include <vector>

using Blocks = std::set<int>;
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// The first chunk of a stored copy: marker, factory count, then the entries.
std::array<std::uint8_t, 256> storedChunk(int factory, const std::vector<int> &entries, int marker = 0xA5A5)
{
    std::array<std::uint8_t, 256> chunk;
    chunk.fill(0xFF);
    chunk[0] = static_cast<std::uint8_t>(marker >> 8);
    chunk[1] = static_cast<std::uint8_t>(marker & 0xFF);
    chunk[2] = static_cast<std::uint8_t>(factory & 0xFF);
    chunk[3] = static_cast<std::uint8_t>(factory >> 8);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        chunk[4 + 2 * i] = static_cast<std::uint8_t>(entries[i] & 0xFF);
        chunk[5 + 2 * i] = static_cast<std::uint8_t>(entries[i] >> 8);
    }
    return chunk;
}

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
    void storedCopy_data();
    void storedCopy();
    void defectListBits();
    void nextGoodBlock_data();
    void nextGoodBlock();
};

void TestBadBlockList::storedCopy_data()
{
    QTest::addColumn<int>("marker");  // first two data bytes, as one word
    QTest::addColumn<std::vector<int>>("entries");
    QTest::addColumn<bool>("intact");
    QTest::addColumn<Blocks>("bad");  // as loaded

    QTest::newRow("no entry") << 0xA5A5 << std::vector<int>{} << true << Blocks{};
    QTest::newRow("ascending") << 0xA5A5 << std::vector<int>{0, 5, 1023} << true << Blocks{0, 5, 1023};
    QTest::newRow("1024 ends the list") << 0xA5A5 << std::vector<int>{5, 1023, 1024, 7} << false << Blocks{5, 1023};
    QTest::newRow("unsorted") << 0xA5A5 << std::vector<int>{40, 2, 40} << false << Blocks{2, 40};
    QTest::newRow("twice the same") << 0xA5A5 << std::vector<int>{5, 5} << false << Blocks{5};
    QTest::newRow("marker torn") << 0x25A5 << std::vector<int>{5} << false << Blocks{5};
    QTest::newRow("second marker torn") << 0xA525 << std::vector<int>{5} << false << Blocks{5};
    std::vector<int> full;
    Blocks fullSet;
    for (int b = 1; b <= 126; ++b) {
        full.push_back(b * 8);
        fullSet.insert(b * 8);
    }
    QTest::newRow("126 entries fill the chunk") << 0xA5A5 << full << true << fullSet;
}

// Whether a page of block 0 holds a whole copy, and what loading it gives.
void TestBadBlockList::storedCopy()
{
    QFETCH(int, marker);
    QFETCH(std::vector<int>, entries);
    QFETCH(bool, intact);
    QFETCH(Blocks, bad);

    const auto chunk = storedChunk(0x0102, entries, marker);
    QCOMPARE(BadBlockList::intactCopy(chunk.data()), intact);
    BadBlockList list;
    list.markBad(77); // a copy replaces the table, it does not add to it
    QStringList lines;
    list.loadBblCopy(chunk.data(), [&](const QString &line) { lines << line; });
    QCOMPARE(badSet(list), bad);
    QCOMPARE(int(list.factoryDefects()), 0x0102);
    QCOMPARE(lines.mid(int(bad.size())), (QStringList{QStringLiteral("BBL contains %1 blocks").arg(bad.size()),
                                                      QStringLiteral("Factorydefects was 258 blocks")}));
}

void TestBadBlockList::defectListBits()
{
    std::array<std::uint8_t, 64> part0{}, part1{};
    part0[0] = 0x01;  // block 0
    part0[1] = 0x82;  // blocks 9 and 15
    part1[2] = 0x24;  // blocks 530 and 533
    part1[63] = 0x80; // block 1023

    BadBlockList list;
    list.markBad(100); // replaced by the defect list
    list.loadDefectPart(0, part0.data());
    list.loadDefectPart(1, part1.data());
    list.loadDefectPart(2, part1.data()); // no such part: ignored
    QCOMPARE(badSet(list), (Blocks{0, 9, 15, 530, 533, 1023}));

    QStringList lines;
    QCOMPARE(list.countDefects([&](const QString &line) { lines << line; }), 6);
    QCOMPARE(int(list.factoryDefects()), 6);
    QCOMPARE(lines.first(), QStringLiteral("DefectList block 0 defect"));
    QCOMPARE(lines.last(), QStringLiteral("DefectList contains 6 blocks"));
}

void TestBadBlockList::nextGoodBlock_data()
{
    QTest::addColumn<Blocks>("bad");   // marked at run time; 0 and 1024 must be refused
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("expected");

    QTest::newRow("first block") << Blocks{0} << 0 << 1;
    QTest::newRow("1 and 2 bad") << Blocks{1, 2} << 0 << 3;
    QTest::newRow("below 0 gives 1") << Blocks{} << -5 << 1;
    QTest::newRow("good blocks below are not used") << Blocks{1, 11, 12} << 10 << 13;
    QTest::newRow("after 1023") << Blocks{1} << 1023 << int(BadBlockList::NoBlock);
    QTest::newRow("1023 bad, no wrap") << Blocks{1023} << 1022 << int(BadBlockList::NoBlock);
    QTest::newRow("1024 is no block") << Blocks{1024} << 1022 << 1023;
}

void TestBadBlockList::nextGoodBlock()
{
    QFETCH(Blocks, bad);
    QFETCH(int, after);
    QFETCH(int, expected);

    BadBlockList list;
    for (int b : bad)
        list.markBad(b);
    QCOMPARE(list.nextGoodBlock(after), expected);
    // Only data blocks can go bad at run time, and doing so changes the list.
    QCOMPARE(list.isBad(0), false);
    QCOMPARE(list.changed(), bad.upper_bound(0) != bad.lower_bound(BadBlockList::BlockCount));
    QCOMPARE(int(list.factoryDefects()), 0);
}

QTEST_APPLESS_MAIN(TestBadBlockList)
#include "tst_badblocklist.moc"
