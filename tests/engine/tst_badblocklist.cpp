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
    void loadCopy_data();
    void loadCopy();
    void intactCopy_data();
    void intactCopy();
    void defectListBits();
    void nextGoodBlock_data();
    void nextGoodBlock();
};

void TestBadBlockList::loadCopy_data()
{
    QTest::addColumn<int>("factory");
    QTest::addColumn<std::vector<int>>("entries");
    QTest::addColumn<Blocks>("bad");

    QTest::newRow("no entry") << 0x0102 << std::vector<int>{} << Blocks{};
    QTest::newRow("1023 marked, 1024 ends") << 0 << std::vector<int>{5, 1023, 1024, 7} << Blocks{5, 1023};
    QTest::newRow("unsorted") << 3 << std::vector<int>{40, 2, 40} << Blocks{2, 40};
    std::vector<int> full;
    Blocks fullSet;
    for (int b = 1; b <= 126; ++b) {
        full.push_back(b * 8);
        fullSet.insert(b * 8);
    }
    QTest::newRow("126 entries fill the chunk") << 0 << full << fullSet;
}

void TestBadBlockList::loadCopy()
{
    QFETCH(int, factory);
    QFETCH(std::vector<int>, entries);
    QFETCH(Blocks, bad);

    BadBlockList list;
    list.markBad(77); // a copy replaces the table, it does not add to it
    const auto chunk = storedChunk(factory, entries);
    QStringList lines;
    list.loadBblCopy(chunk.data(), [&](const QString &line) { lines << line; });
    QCOMPARE(badSet(list), bad);
    QCOMPARE(int(list.factoryDefects()), factory);
    QCOMPARE(lines.size(), int(bad.size()) + 2);
    if (!bad.empty())
        QCOMPARE(lines.first(), QStringLiteral("BBL block %1 defect").arg(*bad.begin()));
    QCOMPARE(lines.mid(lines.size() - 2),
             (QStringList{QStringLiteral("BBL contains %1 blocks").arg(bad.size()),
                          QStringLiteral("Factorydefects was %1 blocks").arg(factory)}));
}

void TestBadBlockList::intactCopy_data()
{
    QTest::addColumn<std::vector<int>>("entries");
    QTest::addColumn<int>("marker");  // first two data bytes, as one word
    QTest::addColumn<bool>("intact");

    QTest::newRow("no bad block") << std::vector<int>{} << 0xA5A5 << true;
    QTest::newRow("ascending") << std::vector<int>{0, 5, 1023} << 0xA5A5 << true;
    std::vector<int> full;
    for (int b = 1; b <= 126; ++b)
        full.push_back(b);
    QTest::newRow("no room left for the filler") << full << 0xA5A5 << true;
    QTest::newRow("marker torn") << std::vector<int>{5} << 0x25A5 << false;
    QTest::newRow("second marker torn") << std::vector<int>{5} << 0xA525 << false;
    QTest::newRow("out of order") << std::vector<int>{9, 5} << 0xA5A5 << false;
    QTest::newRow("twice the same") << std::vector<int>{5, 5} << 0xA5A5 << false;
    QTest::newRow("ended by another word than the filler") << std::vector<int>{5, 1024} << 0xA5A5 << false;
}

void TestBadBlockList::intactCopy()
{
    QFETCH(std::vector<int>, entries);
    QFETCH(int, marker);
    QFETCH(bool, intact);
    const auto chunk = storedChunk(2, entries, marker);
    QCOMPARE(BadBlockList::intactCopy(chunk.data()), intact);
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
