// A page of block 0 as the updater reads it back: the first 256 data bytes,
// judged whole or torn and loaded as a copy of the bad-block list.

#include "badblocklist.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace {

constexpr int ChunkBytes = 256;
constexpr std::uint8_t Erased = 0xFF;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    std::array<std::uint8_t, ChunkBytes> chunk;
    chunk.fill(Erased);
    std::copy_n(data, std::min<std::size_t>(size, ChunkBytes), chunk.begin());

    const bool intact = BadBlockList::intactCopy(chunk.data());
    BadBlockList list;
    int blockLines = 0;
    int lines = 0;
    bool wrongLine = false;
    list.loadBblCopy(chunk.data(), [&](const TraceLine &line) {
        ++lines;
        if (line.kind == TraceKind::BblBlockDefect) {
            ++blockLines;
            wrongLine = wrongLine || !list.isBad(line.value);
        }
    });

    int bad = 0;
    for (int block = 0; block < BadBlockList::BlockCount; ++block)
        bad += list.isBad(block) ? 1 : 0;
    // One line per bad block and two summary lines; never more entries than
    // a chunk holds; a whole copy keeps the stored factory count.
    if (wrongLine || blockLines != bad || lines != bad + 2 || bad > BadBlockList::StoredEntriesRead)
        std::abort();
    if (intact && list.factoryDefects() != std::int16_t(chunk[2] | (chunk[3] << 8)))
        std::abort();
    const int first = list.nextGoodBlock(0);
    if (first == 0 || (first != BadBlockList::NoBlock && list.isBad(first)))
        std::abort();
    return 0;
}
