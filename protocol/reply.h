#pragma once

#include "replycode.h"

#include <array>
#include <cstdint>
#include <string>

// What one received message turned out to be, with everything it carried.
// Decoding keeps nothing behind: the caller holds the whole answer.
struct Reply
{
    // Side data one message can carry: the receive buffer's 1,024 bytes unpacked.
    static constexpr int DataCapacity = 1024;

    ReplyCode code = ReplyNone;
    // Bytes of side data: what a data reply unpacked from whole Pack7 groups,
    // 1 for a status reply (EraseBlock, PageData, ProgramPage) that holds its
    // status byte, else 0. A reply cut short on the wire carries less.
    int dataLength = 0;
    // An EraseBlock or ProgramPage status that reports failure.
    bool fail = false;
    // The status byte of a status reply.
    std::uint8_t status = 0;
    // An identity reply's fields.
    std::uint32_t serialNumber = 0;
    std::uint32_t firmwareVersion = 0;
    std::string deviceName;
    // The first dataLength bytes are the side data; the rest is undefined.
    std::array<std::uint8_t, DataCapacity> data;

    // How many commands the link had sent when this message arrived. Replies
    // carry no sequence number, but an answer cannot come before its command:
    // a message that was already here when a command went out (a duplicate)
    // is not that command's answer. Unstamped: nothing is known.
    static constexpr std::uint32_t Unstamped = UINT32_MAX;
    std::uint32_t sentBefore = Unstamped;
};

// Decodes one message as if it lay in a zero-filled receive buffer of
// SysEx::MaxReplyLength bytes; never reads beyond `length` or that size.
Reply decodeReply(const std::uint8_t *message, int length);

// Eleven characters such as 586-638-764, from the nine leading digits of the
// zero-padded decimal number.
std::string formatSerial(std::uint32_t serialNumber);
