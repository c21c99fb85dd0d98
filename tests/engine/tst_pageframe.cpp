#include "pageframe.h"

#include <QTest>

#include <bitset>
#include <vector>

using Chunk = std::array<std::uint8_t, PageFrame::ChunkSize>;
using Ecc = std::array<std::uint8_t, 4>;
Q_DECLARE_METATYPE(Chunk)
Q_DECLARE_METATYPE(Ecc)

namespace {

const Ecc BlankEcc{0x00, 0x00, 0x00, 0xFF};

Chunk filled(std::uint8_t value, std::initializer_list<std::pair<int, std::uint8_t>> set = {})
{
    Chunk c;
    c.fill(value);
    for (auto [at, byte] : set)
        c[std::size_t(at)] = byte;
    return c;
}

std::vector<std::uint8_t> patternImage(std::size_t size)
{
    std::vector<std::uint8_t> image(size);
    std::uint32_t x = 0x12345678;
    for (auto &b : image)
        b = static_cast<std::uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    return image;
}

Ecc frameEcc(const PageFrame &frame, int chunk)
{
    Ecc ecc;
    std::copy_n(frame.bytes.begin() + PageFrame::frameOffset(chunk * PageFrame::ChunkSize) + PageFrame::ChunkSize, 4, ecc.begin());
    return ecc;
}

} // namespace

class TestPageFrame : public QObject
{
    Q_OBJECT

private slots:
    void checkBytes_data();
    void checkBytes();
    void anyFlippedBitChangesCheckBytes();
    void dataFrame_data();
    void dataFrame();
    void listFrame_data();
    void listFrame();
};

void TestPageFrame::checkBytes_data()
{
    QTest::addColumn<Chunk>("chunk");
    QTest::addColumn<Ecc>("ecc");

    QTest::newRow("all 0xFF") << filled(0xFF) << BlankEcc;
    QTest::newRow("all 0x00") << filled(0x00) << BlankEcc;
    QTest::newRow("0x01 first") << filled(0, {{0, 0x01}}) << Ecc{0x01, 0x00, 0xFF, 0xFF};
    QTest::newRow("0x01 last") << filled(0, {{255, 0x01}}) << Ecc{0x01, 0xFF, 0x00, 0xFF};
    QTest::newRow("abc") << filled(0xFF, {{0, 'a'}, {1, 'b'}, {2, 'c'}}) << Ecc{0x9F, 0x01, 0x01, 0xFF};
}

void TestPageFrame::checkBytes()
{
    QFETCH(Chunk, chunk);
    QFETCH(Ecc, ecc);
    QCOMPARE(chunkEcc(chunk.data()), ecc);
}

// The worked values leave most parity-table entries and line indices unchecked.
void TestPageFrame::anyFlippedBitChangesCheckBytes()
{
    for (int i = 0; i < 256; ++i)
        QCOMPARE(int(parityTable[std::size_t(i)]), int(std::bitset<8>(std::size_t(i)).count() % 2));
    auto chunk = patternImage(PageFrame::ChunkSize);
    const Ecc good = chunkEcc(chunk.data());
    for (int j = 0; j < PageFrame::ChunkSize; ++j) {
        for (int bit = 0; bit < 8; ++bit) {
            chunk[std::size_t(j)] ^= static_cast<std::uint8_t>(1 << bit);
            const Ecc ecc = chunkEcc(chunk.data());
            chunk[std::size_t(j)] ^= static_cast<std::uint8_t>(1 << bit);
            // One flipped bit moves the line-parity word by exactly this line's value.
            const int moved = (ecc[1] ^ good[1]) | (ecc[2] ^ good[2]) << 8;
            QVERIFY2(ecc[0] != good[0] && moved == ((255 - j) << 8 | j),
                     qPrintable(QStringLiteral("byte %1 bit %2").arg(j).arg(bit)));
        }
    }
}

void TestPageFrame::dataFrame_data()
{
    QTest::addColumn<int>("imageSize");
    QTest::addColumn<int>("imageBlock");
    QTest::addColumn<int>("page");
    QTest::addColumn<bool>("complete");

    QTest::newRow("last page, 100 bytes") << 3 * 2048 + 100 << 0 << 3 << true;
    QTest::newRow("multiple of 2048, before last") << 4 * 2048 << 0 << 2 << false;
    QTest::newRow("multiple of 2048, last") << 4 * 2048 << 0 << 3 << true;
    QTest::newRow("second image block, last") << 65 * 2048 + 7 << 1 << 1 << true;
    QTest::newRow("past the end") << 2048 << 0 << 5 << true;
    QTest::newRow("block 257 wraps") << 2048 << 257 << 63 << true;
}

void TestPageFrame::dataFrame()
{
    QFETCH(int, imageSize);
    QFETCH(int, imageBlock);
    QFETCH(int, page);
    QFETCH(bool, complete);

    const auto image = patternImage(static_cast<std::size_t>(imageSize));
    PageFrame frame;
    frame.bytes.fill(0x5A); // whatever was there before must not show through
    QCOMPARE(buildDataFrame(frame, imageBlock, page, image.data(), imageSize), complete);

    const auto blockByte = static_cast<std::uint8_t>(imageBlock % 256);
    for (int i = 0; i < PageFrame::HeaderSize; ++i)
        QCOMPARE(frame.bytes[std::size_t(i)], i < 3 ? blockByte : std::uint8_t(0xFF));
    const std::int64_t base = (std::int64_t(imageBlock) * 64 + page) * PageFrame::DataSize;
    for (int d = 0; d < PageFrame::DataSize; ++d) {
        const std::int64_t at = base + d;
        const std::uint8_t expected = at < imageSize ? image[static_cast<std::size_t>(at)] : 0xFF;
        QCOMPARE(frame.bytes[std::size_t(PageFrame::frameOffset(d))], expected);
    }
    for (int k = 0; k < PageFrame::Chunks; ++k)
        QCOMPARE(frameEcc(frame, k), chunkEcc(frame.bytes.data() + PageFrame::frameOffset(k * PageFrame::ChunkSize)));
}

void TestPageFrame::listFrame_data()
{
    QTest::addColumn<std::vector<int>>("bad");
    QTest::addColumn<int>("factory");

    QTest::newRow("no bad block") << std::vector<int>{} << 0x0203;
    QTest::newRow("a few") << std::vector<int>{3, 300, 1023} << 1;
    std::vector<int> many;
    for (int b = 1023; b > 1023 - 150 * 5; b -= 5)
        many.insert(many.begin(), b);
    QTest::newRow("150 bad blocks") << many << 2;
}

void TestPageFrame::listFrame()
{
    QFETCH(std::vector<int>, bad);
    QFETCH(int, factory);
    std::array<std::uint8_t, 1024> table{};
    for (int b : bad)
        table[std::size_t(b)] = b % 2 ? 1 : 7; // any non-zero value means bad
    PageFrame frame;
    buildBblFrame(frame, table.data(), int(table.size()), std::int16_t(factory));

    for (int i = 0; i < PageFrame::HeaderSize; ++i)
        QCOMPARE(int(frame.bytes[std::size_t(i)]), i == 0 ? 0xA5 : 0xFF);
    const auto data = [&](int d) { return int(frame.bytes[std::size_t(PageFrame::frameOffset(d))]); };
    QCOMPARE(data(0) << 8 | data(1), 0xA5A5);
    QCOMPARE(data(2) | data(3) << 8, factory);
    // The lowest 101 block numbers, ascending, then 0xFF to the end of the page.
    const int stored = std::min<int>(int(bad.size()), PageFrame::MaxListEntries);
    for (int i = 0; i < stored; ++i)
        QCOMPARE(data(4 + 2 * i) | data(5 + 2 * i) << 8, bad[std::size_t(i)]);
    for (int d = 4 + 2 * stored; d < PageFrame::DataSize; ++d)
        QCOMPARE(data(d), 0xFF);
    QCOMPARE(frameEcc(frame, 0), chunkEcc(frame.bytes.data() + PageFrame::HeaderSize));
    for (int k = 1; k < PageFrame::Chunks; ++k)
        QCOMPARE(frameEcc(frame, k), BlankEcc);
}

QTEST_APPLESS_MAIN(TestPageFrame)
#include "tst_pageframe.moc"
