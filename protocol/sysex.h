#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// The SysEx frame of every message to and from the device, and the commands.

namespace SysEx {

constexpr std::uint8_t Start = 0xF0;
constexpr std::uint8_t End = 0xF7;
constexpr std::uint8_t Marker = 0x7F;
// F0, manufacturer 00 11 22, device 0A: bytes 0..4 of every message.
constexpr std::array<std::uint8_t, 5> Head{0xF0, 0x00, 0x11, 0x22, 0x0A};
constexpr int HeadLength = 9;      // head plus four address bytes
constexpr int CommandOffset = 9;
constexpr int ArgumentOffset = 10;
// The device's answer carries this plus the command number as its type byte.
constexpr std::uint8_t ReplyTypeBase = 0x20;
constexpr std::uint8_t TransferStateType = 0x43;
constexpr std::array<std::uint8_t, 4> ResetConfirmation{0x35, 0x1C, 0x62, 0x0B};
// Largest PageData payload one message may carry (151 Pack7 groups).
constexpr int MaxPageDataLength = 604;
constexpr int MaxMessageLength = 768;
// A received message longer than this is taken in cut to this length.
constexpr int MaxReplyLength = 1024;

} // namespace SysEx

enum class Command : std::uint8_t {
    Identify = 0,
    ReadDefectList = 8,
    ReadChunk = 9,
    EraseBlock = 10,
    BeginPage = 11,
    PageData = 12,
    ProgramPage = 13,
    ResetNand = 14,
    Finish = 15,
};

// One built message; fixed capacity so building allocates nothing.
struct SysExMessage
{
    std::array<std::uint8_t, SysEx::MaxMessageLength> bytes{};
    std::size_t length = 0;

    const std::uint8_t *data() const { return bytes.data(); }
    std::size_t size() const { return length; }
};

// Command builders: byte-exact, arguments split into 7-bit groups, least
// significant first; bits above a field's width are dropped.
SysExMessage buildIdentify();
SysExMessage buildReadDefectList(std::uint8_t part);
SysExMessage buildReadChunk(std::int32_t chunkAddress, std::uint8_t piece);
SysExMessage buildEraseBlock(std::uint32_t block);
SysExMessage buildBeginPage(std::uint32_t block, std::uint8_t page);
// Checksum and Pack7 groups of `length` bytes; a length above
// SysEx::MaxPageDataLength is cut to it; 0 or less, or no data, sends the
// empty form (checksum 0, no groups).
SysExMessage buildPageData(const std::uint8_t *data, int length);
SysExMessage buildProgramPage();
SysExMessage buildResetNand(std::uint8_t major, std::uint8_t minor, std::uint32_t imageSize);
SysExMessage buildFinish();
