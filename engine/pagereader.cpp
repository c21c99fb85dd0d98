#include "pagereader.h"

#include <algorithm>

namespace {

constexpr int PiecesPerChunk = 4;
constexpr int PieceBytes = PageFrame::ChunkSize / PiecesPerChunk;
constexpr int PagesPerBlock = 64;
constexpr std::uint8_t ErasedByte = 0xFF;
constexpr std::uint32_t FnvBasis = 2166136261u;
constexpr std::uint32_t FnvPrime = 16777619u;

constexpr int chunkAddress(int block, int page, int chunk)
{
    return (block * PagesPerBlock + page) * PageFrame::Chunks + chunk;
}

} // namespace

void PageReader::read(int block, int page, int chunks, bool probing)
{
    target = {block, page, chunks * PiecesPerChunk, probing};
    readings = 0;
    readingDue = false;
    lostInARow = 0;
    readFromStart();
}

void PageReader::readFromStart()
{
    index = 0;
    matches = true;
    erased = true;
    digest = FnvBasis;
    ++readings;
    readPiece();
}

void PageReader::readPiece()
{
    const int chunk = index / PiecesPerChunk;
    link.await(buildReadChunk(chunkAddress(target.block, target.page, chunk), std::uint8_t(index % PiecesPerChunk)));
}

PageReader::Result PageReader::onAnswer(const Reply &reply)
{
    lostInARow = 0;
    const std::uint8_t *expected = frame.bytes.data() + PageFrame::frameOffset(index * PieceBytes);
    const auto got = reply.data.begin();
    matches = matches && std::equal(expected, expected + PieceBytes, got);
    erased = erased && std::all_of(got, got + PieceBytes, [](std::uint8_t b) { return b == ErasedByte; });
    for (int i = 0; i < PieceBytes; ++i)
        digest = (digest ^ got[i]) * FnvPrime;
    if (++index < target.pieces) {
        readPiece();
        return Result::Busy;
    }
    if (matches)
        return Result::Matches;
    if (erased)
        return Result::Erased;
    if ((readings > 1 && digest == previousDigest) || readings >= MaxReadings)
        return Result::Differs;
    previousDigest = digest;
    readingDue = true;
    link.fence();
    return Result::Busy;
}

PageReader::Result PageReader::afterFence()
{
    if (readingDue) {
        readingDue = false;
        readFromStart();
        return Result::Busy;
    }
    if (target.probing && ++lostInARow >= LostWhileProbing)
        return Result::NoAnswer;
    readPiece();
    return Result::Busy;
}
