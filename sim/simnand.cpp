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
        pages[index(block, page)] = QByteArray();
}

void SimNand::eraseAll()
{
    for (QByteArray &page : pages)
        page = QByteArray();
}

bool SimNand::program(int block, int page, const QByteArray &frame)
{
    if (!validBlock(block) || !validPage(page) || frame.size() != PageFrame::Size)
        return false;
    QByteArray &stored = pages[index(block, page)];
    if (stored.isEmpty()) {
        stored = frame;
        return true;
    }
    for (int i = 0; i < PageFrame::Size; ++i)
        stored[i] = static_cast<char>(stored[i] & frame[i]);
    return false;
}

bool SimNand::written(int block, int page) const
{
    return validBlock(block) && validPage(page) && !pages[index(block, page)].isEmpty();
}

QByteArray SimNand::frame(int block, int page) const
{
    return written(block, page) ? pages[index(block, page)] : QByteArray();
}

std::uint8_t SimNand::dataByte(int block, int page, int dataOffset) const
{
    if (!written(block, page) || dataOffset < 0 || dataOffset >= PageFrame::DataSize)
        return ErasedByte;
    return static_cast<std::uint8_t>(pages[index(block, page)][PageFrame::frameOffset(dataOffset)]);
}

std::uint8_t SimNand::headerByte(int block, int page, int offset) const
{
    if (!written(block, page) || offset < 0 || offset >= PageFrame::HeaderSize)
        return ErasedByte;
    return static_cast<std::uint8_t>(pages[index(block, page)][offset]);
}
