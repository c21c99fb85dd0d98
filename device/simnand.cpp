#include "simnand.h"

#include "pageframe.h"

SimNand::SimNand()
    : pages(Blocks * PagesPerBlock)
{
}

void SimNand::eraseBlock(int block)
{
    if (!validBlock(block))
        return;
    for (int page = 0; page < PagesPerBlock; ++page)
        pages[index(block, page)].clear();
}

void SimNand::eraseAll()
{
    for (Bytes &page : pages)
        page.clear();
}

bool SimNand::program(int block, int page, const Bytes &frame)
{
    if (!validBlock(block) || !validPage(page) || frame.size() != std::size_t(PageFrame::Size))
        return false;
    Bytes &stored = pages[index(block, page)];
    if (stored.empty()) {
        stored = frame;
        return true;
    }
    for (int i = 0; i < PageFrame::Size; ++i)
        stored[std::size_t(i)] &= frame[std::size_t(i)];
    return false;
}

bool SimNand::written(int block, int page) const
{
    return validBlock(block) && validPage(page) && !pages[index(block, page)].empty();
}

Bytes SimNand::frame(int block, int page) const
{
    return written(block, page) ? pages[index(block, page)] : Bytes();
}

std::uint8_t SimNand::dataByte(int block, int page, int dataOffset) const
{
    if (!written(block, page) || dataOffset < 0 || dataOffset >= PageFrame::DataSize)
        return ErasedByte;
    return pages[index(block, page)][std::size_t(PageFrame::frameOffset(dataOffset))];
}

std::uint8_t SimNand::headerByte(int block, int page, int offset) const
{
    if (!written(block, page) || offset < 0 || offset >= PageFrame::HeaderSize)
        return ErasedByte;
    return pages[index(block, page)][std::size_t(offset)];
}
