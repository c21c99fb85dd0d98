#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// A NAND page as it travels to the device: 16-byte header, then eight chunks of
// 256 data bytes, each followed by its four check bytes.
struct PageFrame
{
    static constexpr int Size = 2096;
    static constexpr int HeaderSize = 16;
    static constexpr int DataSize = 2048;
    static constexpr int ChunkSize = 256;
    static constexpr int Chunks = 8;
    static constexpr int ChunkStride = ChunkSize + 4;
    static constexpr int Pieces = 33;       // 32 of 64 bytes, then one of 48
    static constexpr int PieceSize = 64;
    static constexpr int LastPieceSize = Size - (Pieces - 1) * PieceSize;
    static constexpr std::uint8_t ListMarker = 0xA5;
    static constexpr int MaxListEntries = 101;

    std::array<std::uint8_t, Size> bytes{};

    // Frame offset of data byte `dataOffset` (0..2047) of the page.
    static constexpr int frameOffset(int dataOffset)
    {
        return HeaderSize + (dataOffset / ChunkSize) * ChunkStride + dataOffset % ChunkSize;
    }
    // Offset and length of transmission piece 0..32.
    static constexpr int pieceOffset(int piece) { return piece * PieceSize; }
    static constexpr int pieceLength(int piece) { return piece < Pieces - 1 ? PieceSize : LastPieceSize; }
};

// 1 where the index has an odd number of one bits.
extern const std::array<std::uint8_t, 256> parityTable;

// The four check bytes of one 256-byte chunk.
std::array<std::uint8_t, 4> chunkEcc(const std::uint8_t *chunk);
// Writes the check bytes of all eight chunks of the frame.
void computeChunkEcc(PageFrame &frame);

// Data page `pageIndex` of image block `imageBlock`; bytes past the image are
// 0xFF. Returns true when the page holds the image's last byte (or lies past it).
bool buildDataFrame(PageFrame &frame, int imageBlock, int pageIndex,
                    const std::uint8_t *imageData, std::int64_t imageSize);

// A copy of the bad-block list: the lowest MaxListEntries bad blocks, ascending.
// `badBlocks` holds one entry per block, non-zero for a bad one.
void buildBblFrame(PageFrame &frame, const std::uint8_t *badBlocks, int blockCount,
                   std::int16_t factoryDefects);
