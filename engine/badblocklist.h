#pragma once

#include "enginelistener.h"

#include <array>
#include <cstdint>
#include <functional>

// Which of the flash's 1024 blocks must not be used. Block 0 keeps copies of it.
class BadBlockList
{
public:
    static constexpr int BlockCount = 1024;
    static constexpr int NoBlock = 1024;          // no good block left
    static constexpr int StoredEntriesRead = 126; // entries one 256-byte chunk can hold
    using Trace = std::function<void(const TraceLine &)>;

    // Whether the first 256 bytes of a page of block 0 hold a copy: the
    // markers A5 A5. A power cut while a copy is programmed leaves a page
    // that is in use but fails this.
    static bool intactCopy(const std::uint8_t *chunk);
    // Rebuilds the list and factoryDefects from the first 256 bytes of a stored
    // copy: block numbers in ascending order, up to the 0xFFFF filler or the
    // first entry out of order or past the flash.
    void loadBblCopy(const std::uint8_t *chunk, const Trace &trace = {});
    // Part 0 or 1 of the factory defect list: 64 bytes, one bit per block.
    void loadDefectPart(int part, const std::uint8_t *bytes);
    // Counts the bad blocks into factoryDefects and returns the count.
    int countDefects(const Trace &trace = {});
    // Marks a data block (1..1023) bad and the list changed; other numbers are ignored.
    void markBad(int block);
    // Lowest good block above `after`, or NoBlock; never block 0, never downward.
    int nextGoodBlock(int after) const;

    bool isBad(int block) const { return block >= 0 && block < BlockCount && entries[block] != 0; }
    const std::uint8_t *data() const { return entries.data(); }
    std::int16_t factoryDefects() const { return factory; }
    bool changed() const { return bblChanged; }
    void setChanged(bool on) { bblChanged = on; }

private:
    // Counts the bad blocks, tracing one line of `kind` per block.
    int countBad(const Trace &trace, TraceKind kind) const;

    std::array<std::uint8_t, BlockCount> entries{};
    std::int16_t factory = 0;
    bool bblChanged = false;
};
