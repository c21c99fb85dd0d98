#include "pageframe.h"

#include <QTest>

#include <vector>

using Ecc = std::array<std::uint8_t, 4>;
Q_DECLARE_METATYPE(Ecc)

namespace {

std::vector<std::uint8_t> patternImage(std::size_t size)
{
    std::vector<std::uint8_t> image(size);
    for (std::size_t i = 0; i < size; ++i)
        image[i] = std::uint8_t(i * 7 + (i >> 8) * 3 + (i >> 11)); // differs for a shift by chunk or page
    return image;
}

// True when the check bytes after each chunk match its data.
bool checkBytesMatch(const PageFrame &frame)
{
    for (int k = 0; k < PageFrame::Chunks; ++k) {
        const std::uint8_t *chunk = frame.bytes.data() + PageFrame::frameOffset(k * PageFrame::ChunkSize);
        const Ecc ecc = chunkEcc(chunk);
        if (!std::equal(ecc.begin(), ecc.end(), chunk + PageFrame::ChunkSize))
            return false;
    }
    return true;
}

} // namespace

class TestPageFrame : public QObject
{
    Q_OBJECT

private slots:
    void checkBytes_data()
    {
        QTest::addColumn<QByteArray>("chunk"); // padded with its last byte
        QTest::addColumn<Ecc>("ecc");
        QTest::newRow("blank") << QByteArray("\xff", 1) << Ecc{0x00, 0x00, 0x00, 0xFF};
        QTest::newRow("abc") << QByteArray("abc\xff", 4) << Ecc{0x9F, 0x01, 0x01, 0xFF};
        QTest::newRow("0x01 last") << QByteArray(255, '\0') + '\x01' << Ecc{0x01, 0xFF, 0x00, 0xFF};
    }
    void checkBytes()
    {
        QFETCH(QByteArray, chunk);
        chunk = chunk.leftJustified(PageFrame::ChunkSize, chunk.back());
        QTEST(chunkEcc(reinterpret_cast<const std::uint8_t *>(chunk.constData())), "ecc");
    }

    // The worked values leave most parity-table entries and line indices unchecked.
    void anyFlippedBitMovesCheckBytesByItsLine()
    {
        std::array<std::uint8_t, PageFrame::ChunkSize> chunk;
        for (int j = 0; j < PageFrame::ChunkSize; ++j)
            chunk[std::size_t(j)] = std::uint8_t(j * 37); // every byte value once
        const Ecc good = chunkEcc(chunk.data());
        for (int j = 0; j < PageFrame::ChunkSize; ++j) {
            for (int bit = 0; bit < 8; ++bit) {
                chunk[std::size_t(j)] ^= std::uint8_t(1 << bit);
                const Ecc ecc = chunkEcc(chunk.data());
                chunk[std::size_t(j)] ^= std::uint8_t(1 << bit);
                const int moved = (ecc[1] ^ good[1]) | (ecc[2] ^ good[2]) << 8;
                QVERIFY2(ecc[0] != good[0] && moved == ((255 - j) << 8 | j), qPrintable(QString::number(j)));
            }
        }
    }

    void dataFrame_data()
    {
        QTest::addColumn<int>("imageSize");
        QTest::addColumn<int>("imageBlock");
        QTest::addColumn<int>("page");
        QTest::addColumn<bool>("last");
        QTest::newRow("ends inside chunk 3") << 65 * 2048 + 3 * 256 + 7 << 1 << 1 << true;
        QTest::newRow("whole pages, before last") << 4 * 2048 << 0 << 2 << false;
        QTest::newRow("whole pages, last") << 4 * 2048 << 0 << 3 << true;
        QTest::newRow("past the end, block 257") << 2048 << 257 << 63 << true;
    }
    void dataFrame()
    {
        QFETCH(int, imageSize);
        QFETCH(int, imageBlock);
        QFETCH(int, page);
        const auto image = patternImage(std::size_t(imageSize));
        PageFrame frame;
        frame.bytes.fill(0x5A); // whatever was there before must not show through
        QTEST(buildDataFrame(frame, imageBlock, page, image.data(), imageSize), "last");

        for (int i = 0; i < PageFrame::HeaderSize; ++i)
            QCOMPARE(int(frame.bytes[std::size_t(i)]), i < 3 ? imageBlock % 256 : 0xFF);
        const std::int64_t base = (std::int64_t(imageBlock) * 64 + page) * PageFrame::DataSize;
        for (int d = 0; d < PageFrame::DataSize; ++d)
            QCOMPARE(frame.bytes[std::size_t(PageFrame::frameOffset(d))],
                     base + d < imageSize ? image[std::size_t(base + d)] : std::uint8_t(0xFF));
        QVERIFY(checkBytesMatch(frame));
    }
};

QTEST_APPLESS_MAIN(TestPageFrame)
#include "tst_pageframe.moc"
