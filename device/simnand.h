#pragma once

#include "devicebytes.h"

#include <cstdint>
#include <vector>

// The flash of a simulated device: 1024 blocks of 64 pages, each page either
// erased or holding the 2096-byte frame it was programmed with. Storage grows
// only with the pages written.
class SimNand
{
public:
    static constexpr int Blocks = 1024;
    static constexpr int PagesPerBlock = 64;
    static constexpr std::uint8_t ErasedByte = 0xFF;

    SimNand();

    static bool validBlock(int block) { return block >= 0 && block < Blocks; }
    static bool validPage(int page) { return page >= 0 && page < PagesPerBlock; }

    void eraseBlock(int block);
    void eraseAll();
    // Stores a whole frame into an erased page. Like real NAND a written page
    // can only lose one bits: programming it again keeps old AND new and
    // returns false.
    bool program(int block, int page, const Bytes &frame);

    bool written(int block, int page) const;
    // The frame as programmed, or empty for an erased page.
    Bytes frame(int block, int page) const;
    // Data byte 0..2047 of the page (check bytes and header skipped); 0xFF when erased.
    std::uint8_t dataByte(int block, int page, int dataOffset) const;
    std::uint8_t headerByte(int block, int page, int offset) const;

private:
    static int index(int block, int page) { return block * PagesPerBlock + page; }

    std::vector<Bytes> pages;
};
