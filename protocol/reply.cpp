#include "reply.h"

#include "pack7.h"
#include "sysex.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr int StatusOffset = SysEx::ArgumentOffset;
constexpr int PackedDataOffset = SysEx::ArgumentOffset + 1;
constexpr int SerialOffset = 5;
constexpr int SerialGroups = 4;
constexpr int VersionOffset = 10;
constexpr int NameOffset = 12;
constexpr int MaxNameLength = 16;
constexpr std::uint8_t FailStatus = 2;

constexpr std::uint8_t replyType(Command command)
{
    return static_cast<std::uint8_t>(SysEx::ReplyTypeBase + static_cast<std::uint8_t>(command));
}

// A message as it would lie in a zero-filled receive buffer: positions past
// its length read as zero, so a reply cut short never reads foreign memory.
class Received
{
public:
    Received(const std::uint8_t *data, int length)
        : bytes(data), count(data ? std::clamp(length, 0, SysEx::MaxReplyLength) : 0) {}

    std::uint8_t operator[](int i) const { return i < count ? bytes[i] : 0; }
    const std::uint8_t *data() const { return bytes; }
    int size() const { return count; }

    bool hasHead() const
    {
        for (int i = 0; i < int(SysEx::Head.size()); ++i)
            if ((*this)[i] != SysEx::Head[i])
                return false;
        return true;
    }

private:
    const std::uint8_t *bytes;
    int count;
};

void takeIdentity(const Received &message, Reply &reply)
{
    for (int i = 0; i < SerialGroups; ++i)
        reply.serialNumber += std::uint32_t(message[SerialOffset + i]) << (7 * i);
    reply.firmwareVersion = message[VersionOffset] + (std::uint32_t(message[VersionOffset + 1]) << 7);
    for (int i = NameOffset; i < NameOffset + MaxNameLength; ++i) {
        const std::uint8_t b = message[i];
        // A byte with its top bit set is the end marker, never a character.
        if (b == 0 || b >= SysEx::Marker)
            break;
        reply.deviceName.push_back(char(b));
    }
}

void unpackData(const Received &message, Reply &reply)
{
    // Groups lie between byte 11 and the final F7; the last one may run on
    // into the F7 and the zero fill behind it.
    const int length = message.size();
    if (length <= PackedDataOffset + 1)
        return;
    const std::size_t groupBytes = std::size_t(length - PackedDataOffset - 1);
    const std::size_t written = Pack7::decode(message.data() + PackedDataOffset, groupBytes,
                                              std::size_t(length - PackedDataOffset),
                                              reply.data.data(), reply.data.size());
    // A group cut short lost its top bits to the F7: only whole groups count.
    reply.dataLength = int(std::min(written, groupBytes / Pack7::GroupBytes * Pack7::DataBytes));
}

ReplyCode decodeInto(const Received &message, Reply &reply)
{
    if (!message.hasHead())
        return ReplyNone;
    const std::uint8_t status = message[StatusOffset];
    // The final F7 is never a status byte.
    const int statusLength = message.size() > StatusOffset + 1 ? 1 : 0;
    const auto takeStatus = [&] {
        reply.status = status;
        reply.fail = status == FailStatus;
        reply.dataLength = statusLength;
    };
    switch (message[SysEx::CommandOffset]) {
    case replyType(Command::Identify):
        takeIdentity(message, reply);
        return ReplyIdentify;
    case replyType(Command::ReadDefectList):
        unpackData(message, reply);
        return ReplyReadDefectList;
    case replyType(Command::ReadChunk):
        unpackData(message, reply);
        return ReplyReadChunk;
    case replyType(Command::EraseBlock):
        takeStatus();
        return ReplyEraseBlock;
    case replyType(Command::BeginPage):
        return ReplyBeginPage;
    case replyType(Command::PageData):
        takeStatus();
        return ReplyPageData;
    case replyType(Command::ProgramPage):
        takeStatus();
        return ReplyProgramPage;
    case replyType(Command::ResetNand):
        return ReplyResetNand;
    case SysEx::TransferStateType:
        return status == 0 ? ReplyTransferOff : ReplyTransferOn;
    default:
        return ReplyNone;
    }
}

} // namespace

Reply decodeReply(const std::uint8_t *message, int length)
{
    Reply reply;
    reply.code = decodeInto(Received(message, length), reply);
    return reply;
}

std::string formatSerial(std::uint32_t serialNumber)
{
    char d[16];
    std::snprintf(d, sizeof d, "%09lu", static_cast<unsigned long>(serialNumber));
    const auto check = [&d](int x, int y) {
        return char('0' + ((d[x] & 0x0F) + (d[y] & 0x0F)) % 10);
    };
    const char text[] = {d[4], d[7], check(0, 4), '-', d[5], d[2], check(1, 5), '-',
                         d[6], check(8, 6), d[3]};
    return std::string(text, sizeof text);
}
