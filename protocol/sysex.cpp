#include "sysex.h"

#include "pack7.h"

#include <algorithm>

namespace {

constexpr int ChunkAddressGroups = 3; // 21 bits
constexpr int BlockGroups = 2;        // 14 bits
constexpr int ImageSizeGroups = 4;    // 28 bits

// Appends to a message that starts with the frame head and a command number.
// It writes into the caller's message, which the builder then returns as is.
class Writer
{
public:
    Writer(SysExMessage &target, Command command)
        : message(target)
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

    void finish() { message.bytes[message.length++] = SysEx::End; }

private:
    SysExMessage &message;
};

SysExMessage bare(Command command)
{
    SysExMessage message;
    Writer(message, command).finish();
    return message;
}

} // namespace

SysExMessage buildIdentify()
{
    return bare(Command::Identify);
}

SysExMessage buildReadDefectList(std::uint8_t part)
{
    SysExMessage message;
    Writer w(message, Command::ReadDefectList);
    w.put(SysEx::Marker);
    w.put(part);
    w.finish();
    return message;
}

SysExMessage buildReadChunk(std::int32_t chunkAddress, std::uint8_t piece)
{
    SysExMessage message;
    Writer w(message, Command::ReadChunk);
    w.put(SysEx::Marker);
    w.putGroups(static_cast<std::uint32_t>(chunkAddress), ChunkAddressGroups);
    w.put(piece);
    w.finish();
    return message;
}

SysExMessage buildEraseBlock(std::uint32_t block)
{
    SysExMessage message;
    Writer w(message, Command::EraseBlock);
    w.put(SysEx::Marker);
    w.putGroups(block, BlockGroups);
    w.finish();
    return message;
}

SysExMessage buildBeginPage(std::uint32_t block, std::uint8_t page)
{
    SysExMessage message;
    Writer w(message, Command::BeginPage);
    w.put(SysEx::Marker);
    w.putGroups(block, BlockGroups);
    w.put(page);
    w.finish();
    return message;
}

SysExMessage buildPageData(const std::uint8_t *data, int length)
{
    SysExMessage message;
    Writer w(message, Command::PageData);
    if (length <= 0 || !data) {
        w.put(0);
        w.finish();
        return message;
    }
    // The cut keeps the message within its buffer, which 152 groups would overrun.
    const auto count = static_cast<std::size_t>(std::min(length, SysEx::MaxPageDataLength));
    w.put(Pack7::checksum(data, count));
    w.putPacked(data, count);
    w.finish();
    return message;
}

SysExMessage buildProgramPage()
{
    return bare(Command::ProgramPage);
}

SysExMessage buildResetNand(std::uint8_t major, std::uint8_t minor, std::uint32_t imageSize)
{
    SysExMessage message;
    Writer w(message, Command::ResetNand);
    w.put(major);
    w.put(minor);
    w.putGroups(imageSize, ImageSizeGroups);
    for (const std::uint8_t b : SysEx::ResetConfirmation)
        w.put(b);
    w.finish();
    return message;
}

SysExMessage buildFinish()
{
    return bare(Command::Finish);
}
