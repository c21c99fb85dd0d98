#include "pageframe.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::array<std::uint8_t, 256> makeParityTable()
{
    std::array<std::uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        int bits = 0;
        for (int v = i; v; v >>= 1)
            bits ^= v & 1;
        table[i] = static_cast<std::uint8_t>(bits);
    }
    return table;
}

} // namespace

const std::array<std::uint8_t, 256> parityTable = makeParityTable();

std::array<std::uint8_t, 4> chunkEcc(const std::uint8_t *chunk)
{
    std::uint8_t x = 0;
    std::uint16_t w = 0;
    for (int j = 0; j < PageFrame::ChunkSize; ++j) {
        const std::uint8_t d = chunk[j];
        x ^= d;
        // Branch-free: the mask is all ones for odd-parity bytes.
        const std::uint16_t mask = static_cast<std::uint16_t>(-static_cast<int>(parityTable[d]));
        w ^= static_cast<std::uint16_t>(((255 - j) << 8) | j) & mask;
    }
    return {x, static_cast<std::uint8_t>(w & 0xFF), static_cast<std::uint8_t>(w >> 8), 0xFF};
}

void computeChunkEcc(PageFrame &frame)
{
    for (int k = 0; k < PageFrame::Chunks; ++k) {
        std::uint8_t *chunk = frame.bytes.data() + PageFrame::HeaderSize + k * PageFrame::ChunkStride;
        const auto ecc = chunkEcc(chunk);
        std::memcpy(chunk + PageFrame::ChunkSize, ecc.data(), ecc.size());
    }
}

bool buildDataFrame(PageFrame &frame, int imageBlock, int pageIndex,
                    const std::uint8_t *imageData, std::int64_t imageSize)
{
    frame.bytes.fill(0xFF);
    const auto header = static_cast<std::uint8_t>(imageBlock & 0xFF);
    frame.bytes[0] = frame.bytes[1] = frame.bytes[2] = header;

    const std::int64_t base = (std::int64_t(imageBlock) * 64 + pageIndex) * PageFrame::DataSize;
    for (int k = 0; k < PageFrame::Chunks; ++k) {
        const std::int64_t start = base + std::int64_t(k) * PageFrame::ChunkSize;
        if (start >= imageSize || !imageData)
            break;
        const auto count = static_cast<std::size_t>(
            std::min<std::int64_t>(PageFrame::ChunkSize, imageSize - start));
        std::memcpy(frame.bytes.data() + PageFrame::HeaderSize + k * PageFrame::ChunkStride,
                    imageData + start, count);
    }
    computeChunkEcc(frame);
    return base + PageFrame::DataSize >= imageSize;
}

void buildBblFrame(PageFrame &frame, const std::uint8_t *badBlocks, int blockCount,
                   std::int16_t factoryDefects)
{
    frame.bytes.fill(0xFF);
    frame.bytes[0] = PageFrame::ListMarker;
    std::uint8_t *data = frame.bytes.data() + PageFrame::HeaderSize; // chunk 0 holds the whole list
    data[0] = data[1] = PageFrame::ListMarker;
    const auto count = static_cast<std::uint16_t>(factoryDefects);
    data[2] = static_cast<std::uint8_t>(count & 0xFF);
    data[3] = static_cast<std::uint8_t>(count >> 8);
    int entries = 0;
    for (int block = 0; block < blockCount && entries < PageFrame::MaxListEntries; ++block) {
        if (!badBlocks[block])
            continue;
        data[4 + 2 * entries] = static_cast<std::uint8_t>(block & 0xFF);
        data[5 + 2 * entries] = static_cast<std::uint8_t>(block >> 8);
        ++entries;
    }
    computeChunkEcc(frame);
}
