#pragma once

#include "commandlink.h"
#include "pageframe.h"

#include <cstdint>

// Reads the data of a page back with ReadChunk, 64 bytes at a time, and
// compares it with the frame it was sent as. A page that reads otherwise than
// sent costs a block or more, and a garbled answer must not decide that: such
// a page is read again behind a fence until two readings in a row agree with
// each other (garbling strikes at random, so it does not repeat itself), or
// MaxReadings have been made. A lost answer asks for the same piece again;
// while probing what the device can read, two in a row mean it does not
// answer such reads at all.
class PageReader
{
public:
    enum class Result { Busy, Matches, Erased, Differs, NoAnswer };
    static constexpr int LostWhileProbing = 2;
    static constexpr int MaxReadings = 5;

    PageReader(CommandLink &link, const PageFrame &frame) : link(link), frame(frame) {}

    // Reads the first `chunks` chunks of the page.
    void read(int block, int page, int chunks, bool probing = false);
    Result onAnswer(const Reply &reply);
    // After a lost answer, or the fence before the second reading.
    Result afterFence();

    int block() const { return target.block; }
    int page() const { return target.page; }

private:
    void readFromStart();
    void readPiece();

    CommandLink &link;
    const PageFrame &frame;
    struct Target
    {
        int block = 0;
        int page = 0;
        int pieces = 0;
        bool probing = false;
    } target;
    int index = 0;
    int lostInARow = 0;
    bool matches = true;
    bool erased = true;
    int readings = 0;
    std::uint32_t digest = 0;          // of this reading's bytes
    std::uint32_t previousDigest = 0;  // of the reading before, which also differed
    bool readingDue = false;
};
