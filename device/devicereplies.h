#pragma once

#include "devicebytes.h"
#include "sysex.h"

#include <cstddef>
#include <cstdint>
#include <string>

// The messages a device sends, framed like the commands: the SysEx head, four
// address bytes, the type byte, the fields and 0xF7.
namespace DeviceReply {

constexpr std::uint8_t StatusOk = 0;
constexpr std::uint8_t StatusFail = 2;  // what the updater reads as a failed erase or program
constexpr int MaxNameLength = 16;

// Serial number in the address bytes as four 7-bit groups, the version as two,
// then the name's characters (Latin-1), ended by 0x7F when shorter than 16.
Bytes identity(std::uint32_t serialNumber, std::uint32_t firmwareVersion, const std::string &name);
// Type byte, the data's checksum, then the data in Pack7 groups.
Bytes data(std::uint8_t type, const std::uint8_t *bytes, std::size_t length);
// Type byte followed by one status byte.
Bytes status(std::uint8_t type, std::uint8_t status);
// Type byte alone.
Bytes bare(std::uint8_t type);
Bytes transferState(bool on);

// Type byte of the answer to `command`.
constexpr std::uint8_t answerType(Command command)
{
    return static_cast<std::uint8_t>(SysEx::ReplyTypeBase + static_cast<std::uint8_t>(command));
}

} // namespace DeviceReply
