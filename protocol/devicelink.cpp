#include "devicelink.h"

#include "midievent.h"
#include "pack7.h"

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
        : bytes(data), count(data ? std::clamp(length, 0, MidiPorts::ReceiveBufferSize) : 0) {}

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

void writeHex(QString &text, const Received &message)
{
    static constexpr char16_t digits[] = u"0123456789abcdef";
    text.resize(2 * message.size());
    QChar *out = text.data();
    for (int i = 0; i < message.size(); ++i) {
        const std::uint8_t b = message[i];
        *out++ = QChar(digits[b >> 4]);
        *out++ = QChar(digits[b & 0x0F]);
    }
}

} // namespace

DeviceLink::DeviceLink(std::unique_ptr<MidiService> service)
    : midiPorts(std::move(service))
{
}

bool DeviceLink::send(const SysExMessage &message)
{
    return midiPorts.sendSysEx(message.data(), message.size());
}

bool DeviceLink::sendIdentify() { return send(buildIdentify()); }
bool DeviceLink::sendReadDefectList(std::uint8_t part) { return send(buildReadDefectList(part)); }
bool DeviceLink::sendReadChunk(std::int32_t chunkAddress, std::uint8_t piece)
{
    return send(buildReadChunk(chunkAddress, piece));
}
bool DeviceLink::sendEraseBlock(std::uint32_t block) { return send(buildEraseBlock(block)); }
bool DeviceLink::sendBeginPage(std::uint32_t block, std::uint8_t page)
{
    return send(buildBeginPage(block, page));
}
bool DeviceLink::sendPageData(const std::uint8_t *data, int length)
{
    return send(buildPageData(data, length));
}
bool DeviceLink::sendProgramPage() { return send(buildProgramPage()); }
bool DeviceLink::sendResetNand(std::uint8_t major, std::uint8_t minor, std::uint32_t imageSize)
{
    return send(buildResetNand(major, minor, imageSize));
}
bool DeviceLink::sendFinish() { return send(buildFinish()); }

ReplyCode DeviceLink::takeReply(const MidiEvent &event)
{
    return takeReply(event.message);
}

ReplyCode DeviceLink::takeReply(const QByteArray &message)
{
    const auto length = std::min<qsizetype>(message.size(), MidiPorts::ReceiveBufferSize);
    return decodeReply(reinterpret_cast<const std::uint8_t *>(message.constData()),
                       static_cast<int>(length));
}

ReplyCode DeviceLink::decodeReply(const std::uint8_t *data, int length)
{
    const Received message(data, length);
    if (traceOn)
        writeHex(trace, message);
    else if (!trace.isEmpty())
        trace.clear();

    dataLength = 0;
    if (!message.hasHead())
        return ReplyNone;

    const std::uint8_t status = message[StatusOffset];
    // The final F7 is never a status byte.
    const int statusLength = message.size() > StatusOffset + 1 ? 1 : 0;
    switch (message[SysEx::CommandOffset]) {
    case replyType(Command::Identify):
        takeIdentity(message.data(), message.size());
        return ReplyIdentify;
    case replyType(Command::ReadDefectList):
        unpackData(message.data(), message.size());
        return ReplyReadDefectList;
    case replyType(Command::ReadChunk):
        unpackData(message.data(), message.size());
        return ReplyReadChunk;
    case replyType(Command::EraseBlock):
        failed = status == FailStatus;
        dataLength = statusLength;
        return ReplyEraseBlock;
    case replyType(Command::BeginPage):
        return ReplyBeginPage;
    case replyType(Command::PageData):
        lastPieceStatus = status;
        dataLength = statusLength;
        return ReplyPageData;
    case replyType(Command::ProgramPage):
        failed = status == FailStatus;
        dataLength = statusLength;
        return ReplyProgramPage;
    case replyType(Command::ResetNand):
        return ReplyResetNand;
    case SysEx::TransferStateType:
        return status == 0 ? ReplyTransferOff : ReplyTransferOn;
    default:
        return ReplyNone;
    }
}

void DeviceLink::takeIdentity(const std::uint8_t *data, int length)
{
    const Received message(data, length);
    serial = 0;
    for (int i = 0; i < SerialGroups; ++i)
        serial += std::uint32_t(message[SerialOffset + i]) << (7 * i);
    version = message[VersionOffset] + (std::uint32_t(message[VersionOffset + 1]) << 7);

    name.clear();
    for (int i = NameOffset; i < NameOffset + MaxNameLength; ++i) {
        const std::uint8_t b = message[i];
        // A byte with its top bit set is the end marker, never a character.
        if (b == 0 || b >= SysEx::Marker)
            break;
        name.append(QLatin1Char(char(b)));
    }
    serialString = formatSerial(serial);
}

void DeviceLink::unpackData(const std::uint8_t *data, int length)
{
    // Groups lie between byte 11 and the final F7; the last one may run on
    // into the F7 and the zero fill behind it.
    if (length <= PackedDataOffset + 1)
        return;
    const std::size_t groupBytes = std::size_t(length - PackedDataOffset - 1);
    const std::size_t written = Pack7::decode(data + PackedDataOffset, groupBytes,
                                              std::size_t(length - PackedDataOffset),
                                              replyBytes.data(), replyBytes.size());
    // A group cut short lost its top bits to the F7: only whole groups count.
    dataLength = int(std::min(written, groupBytes / Pack7::GroupBytes * Pack7::DataBytes));
}

QString DeviceLink::formatSerial(std::uint32_t serialNumber)
{
    char d[16];
    std::snprintf(d, sizeof d, "%09lu", static_cast<unsigned long>(serialNumber));
    const auto check = [&d](int x, int y) {
        return char('0' + ((d[x] & 0x0F) + (d[y] & 0x0F)) % 10);
    };
    const char text[] = {d[4], d[7], check(0, 4), '-', d[5], d[2], check(1, 5), '-',
                         d[6], check(8, 6), d[3]};
    return QString::fromLatin1(text, sizeof text);
}
