#include "sysex.h"

#include "pack7.h"

#include <algorithm>

namespace {

constexpr int ChunkAddressGroups = 3; // 21 bits
constexpr int BlockGroups = 2;        // 14 bits
constexpr int ImageSizeGroups = 4;    // 28 bits

// Appends to a message that starts with the frame head and a command number.
class Writer
{
public:
    explicit Writer(Command command)
    {
        std::copy(SysEx::Head.begin(), SysEx::Head.end(), message.bytes.begin());
        // The four address bytes stay zero.
        message.bytes[SysEx::CommandOffset] = static_cast<std::uint8_t>(command);
        message.length = SysEx::ArgumentOffset;
    }

    void put(std::uint32_t value) { message.bytes[message.length++] = value & 0x7F; }

    // `count` 7-bit groups, least significant first; higher bits are dropped.
    void putGroups(std::uint32_t value, int count)
    {
        for (int i = 0; i < count; ++i, value >>= 7)
            put(value);
    }

    void putPacked(const std::uint8_t *data, std::size_t length)
    {
        message.length += Pack7::encode(data, length, message.bytes.data() + message.length);
    }

    SysExMessage finish()
    {
        message.bytes[message.length++] = SysEx::End;
        return message;
    }

private:
    SysExMessage message;
};

SysExMessage bare(Command command)
{
    return Writer(command).finish();
}

} // namespace

SysExMessage buildIdentify()
{
    return bare(Command::Identify);
}

SysExMessage buildReadDefectList(std::uint8_t part)
{
    Writer w(Command::ReadDefectList);
    w.put(SysEx::Marker);
    w.put(part);
    return w.finish();
}

SysExMessage buildReadChunk(std::int32_t chunkAddress, std::uint8_t piece)
{
    Writer w(Command::ReadChunk);
    w.put(SysEx::Marker);
    w.putGroups(static_cast<std::uint32_t>(chunkAddress), ChunkAddressGroups);
    w.put(piece);
    return w.finish();
}

SysExMessage buildEraseBlock(std::uint32_t block)
{
    Writer w(Command::EraseBlock);
    w.put(SysEx::Marker);
    w.putGroups(block, BlockGroups);
    return w.finish();
}

SysExMessage buildBeginPage(std::uint32_t block, std::uint8_t page)
{
    Writer w(Command::BeginPage);
    w.put(SysEx::Marker);
    w.putGroups(block, BlockGroups);
    w.put(page);
    return w.finish();
}

SysExMessage buildPageData(const std::uint8_t *data, int length)
{
    Writer w(Command::PageData);
    if (length <= 0 || !data) {
        w.put(0);
        return w.finish();
    }
    // The cut keeps the message within its buffer, which 152 groups would overrun.
    const auto count = static_cast<std::size_t>(std::min(length, SysEx::MaxPageDataLength));
    w.put(Pack7::checksum(data, count));
    w.putPacked(data, count);
    return w.finish();
}

SysExMessage buildProgramPage()
{
    return bare(Command::ProgramPage);
}

SysExMessage buildResetNand(std::uint8_t major, std::uint8_t minor, std::uint32_t imageSize)
{
    Writer w(Command::ResetNand);
    w.put(major);
    w.put(minor);
    w.putGroups(imageSize, ImageSizeGroups);
    for (const std::uint8_t b : SysEx::ResetConfirmation)
        w.put(b);
    return w.finish();
}

SysExMessage buildFinish()
{
    return bare(Command::Finish);
}
