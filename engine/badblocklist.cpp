#include "badblocklist.h"

namespace {

constexpr int FactoryCountOffset = 2;
constexpr int FirstEntryOffset = 4;
constexpr int DefectPartBytes = 64;
constexpr int BlocksPerDefectPart = DefectPartBytes * 8;
constexpr int FirstDataBlock = 1; // block 0 keeps the list itself
constexpr std::uint8_t Marker = 0xA5;

int entryAt(const std::uint8_t *chunk, int i)
{
    const int at = FirstEntryOffset + 2 * i;
    return chunk[at] | (chunk[at + 1] << 8);
}

} // namespace

bool BadBlockList::intactCopy(const std::uint8_t *chunk)
{
    return chunk[0] == Marker && chunk[1] == Marker;
}

void BadBlockList::loadBblCopy(const std::uint8_t *chunk, const Trace &trace)
{
    entries.fill(0);
    factory = static_cast<std::int16_t>(chunk[FactoryCountOffset] | (chunk[FactoryCountOffset + 1] << 8));
    // The filler ends the list; so does an entry out of order or past the
    // flash, and what came before it still counts: run-time bad blocks must
    // not be forgotten for one damaged entry.
    int previous = -1;
    for (int i = 0; i < StoredEntriesRead; ++i) {
        const int block = entryAt(chunk, i);
        if (block >= BlockCount || block <= previous)
            break;
        entries[block] = 1;
        previous = block;
    }

    const int count = countBad(trace, TraceKind::BblBlockDefect);
    if (trace) {
        trace({TraceKind::BblContains, count});
        trace({TraceKind::FactoryDefectsWas, factory});
    }
}

int BadBlockList::countBad(const Trace &trace, TraceKind kind) const
{
    int count = 0;
    for (int block = 0; block < BlockCount; ++block) {
        if (!entries[block])
            continue;
        ++count;
        if (trace)
            trace({kind, block});
    }
    return count;
}

void BadBlockList::loadDefectPart(int part, const std::uint8_t *bytes)
{
    // Only two parts exist; anything else would index past the table.
    if (part < 0 || part * BlocksPerDefectPart >= BlockCount)
        return;
    std::uint8_t *target = entries.data() + part * BlocksPerDefectPart;
    for (int k = 0; k < DefectPartBytes; ++k)
        for (int bit = 0; bit < 8; ++bit)
            target[8 * k + bit] = (bytes[k] >> bit) & 1;
}

int BadBlockList::countDefects(const Trace &trace)
{
    const int count = countBad(trace, TraceKind::DefectListBlockDefect);
    factory = static_cast<std::int16_t>(count);
    if (trace)
        trace({TraceKind::DefectListContains, count});
    return count;
}

void BadBlockList::markBad(int block)
{
    if (block < FirstDataBlock || block >= BlockCount)
        return;
    entries[block] = 1;
    bblChanged = true;
}

int BadBlockList::nextGoodBlock(int after) const
{
    for (int block = after < FirstDataBlock ? FirstDataBlock : after + 1; block < BlockCount; ++block)
        if (!entries[block])
            return block;
    return NoBlock;
}
