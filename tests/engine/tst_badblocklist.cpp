#include "badblocklist.h"

#include <QTest>

#include <set>
#include <vector>

using Blocks = std::set<int>;
Q_DECLARE_METATYPE(Blocks)
Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// The first chunk of a stored copy: marker, factory count, then the entries.
std::array<std::uint8_t, 256> storedChunk(int factory, const std::vector<int> &entries)
{
    std::array<std::uint8_t, 256> chunk;
    chunk.fill(0xFF);
    chunk[0] = chunk[1] = 0xA5;
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
    void loadCopyTraces();
    void intactCopy_data();
    void intactCopy();
    void defectListBits();
    void markBadOnlyDataBlocks();
    void nextGoodBlock_data();
    void nextGoodBlock();
    void nextGoodBlockNeverGoesDown();
};

void TestBadBlockList::loadCopy_data()
{
    QTest::addColumn<int>("factory");
    QTest::addColumn<std::vector<int>>("entries");
    QTest::addColumn<Blocks>("bad");

    QTest::newRow("no entry") << 2 << std::vector<int>{} << Blocks{};
    QTest::newRow("1023 marked, 1024 ends") << 0 << std::vector<int>{5, 1023, 1024, 7} << Blocks{5, 1023};
    QTest::newRow("filler ends") << 1 << std::vector<int>{9, 0xFFFF, 12} << Blocks{9};
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
    list.loadBblCopy(chunk.data());
    QCOMPARE(badSet(list), bad);
    QCOMPARE(int(list.factoryDefects()), factory);
}

void TestBadBlockList::loadCopyTraces()
{
    QStringList lines;
    BadBlockList list;
    const auto chunk = storedChunk(3, {1023, 5});
    list.loadBblCopy(chunk.data(), [&](const QString &line) { lines << line; });
    QCOMPARE(lines, (QStringList{"BBL block 5 defect", "BBL block 1023 defect", "BBL contains 2 blocks",
                                 "Factorydefects was 3 blocks"}));
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
    QCOMPARE(lines.at(5), QStringLiteral("DefectList block 1023 defect"));
    QCOMPARE(lines.last(), QStringLiteral("DefectList contains 6 blocks"));
}

void TestBadBlockList::markBadOnlyDataBlocks()
{
    BadBlockList list;
    list.markBad(0);
    list.markBad(1024);
    list.markBad(-1);
    QVERIFY(!list.changed());
    QCOMPARE(badSet(list), Blocks{});

    list.markBad(1023);
    QVERIFY(list.changed());
    QCOMPARE(badSet(list), Blocks{1023});
    QCOMPARE(int(list.factoryDefects()), 0); // runtime failures are not factory defects
}

void TestBadBlockList::nextGoodBlock_data()
{
    QTest::addColumn<Blocks>("bad");
    QTest::addColumn<int>("after");
    QTest::addColumn<int>("expected");

    QTest::newRow("first block") << Blocks{} << 0 << 1;
    QTest::newRow("1 and 2 bad") << Blocks{1, 2} << 0 << 3;
    QTest::newRow("skips a run") << Blocks{6, 7, 8} << 5 << 9;
    QTest::newRow("after 1023") << Blocks{} << 1023 << int(BadBlockList::NoBlock);
    QTest::newRow("1023 bad") << Blocks{1023} << 1022 << int(BadBlockList::NoBlock);
    QTest::newRow("below 0 gives 1") << Blocks{} << -5 << 1;
    QTest::newRow("good blocks below are not used") << Blocks{11, 12} << 10 << 13;
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
}

void TestBadBlockList::nextGoodBlockNeverGoesDown()
{
    // Block 0 bad from the factory must not make the search start elsewhere.
    std::array<std::uint8_t, 64> part0{}, part1{};
    part0[0] = 0x0F; // blocks 0..3
    part0[10] = 0xFF;
    part1[63] = 0xC0;
    BadBlockList list;
    list.loadDefectPart(0, part0.data());
    list.loadDefectPart(1, part1.data());
    for (int after = -1; after < BadBlockList::BlockCount; ++after) {
        const int next = list.nextGoodBlock(after);
        QVERIFY(next > after);
        QVERIFY(next >= 1);
        if (next == BadBlockList::NoBlock)
            break;
        QVERIFY(!list.isBad(next));
        for (int b = std::max(after + 1, 1); b < next; ++b)
            QVERIFY(list.isBad(b));
    }
    QCOMPARE(list.nextGoodBlock(0), 4);
    QCOMPARE(list.nextGoodBlock(1021), int(BadBlockList::NoBlock));
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
    QTest::newRow("erased page") << std::vector<int>{} << 0xFFFF << false;
    QTest::newRow("out of order") << std::vector<int>{9, 5} << 0xA5A5 << false;
    QTest::newRow("twice the same") << std::vector<int>{5, 5} << 0xA5A5 << false;
    QTest::newRow("ended by another word than the filler") << std::vector<int>{5, 1024} << 0xA5A5 << false;
    QTest::newRow("marker inside the list") << std::vector<int>{5, 0xA5A5} << 0xA5A5 << false;
}

void TestBadBlockList::intactCopy()
{
    QFETCH(std::vector<int>, entries);
    QFETCH(int, marker);
    QFETCH(bool, intact);
    auto chunk = storedChunk(2, entries);
    chunk[0] = std::uint8_t(marker >> 8);
    chunk[1] = std::uint8_t(marker & 0xFF);
    QCOMPARE(BadBlockList::intactCopy(chunk.data()), intact);
}

QTEST_APPLESS_MAIN(TestBadBlockList)
#include "tst_badblocklist.moc"
