#include "simdevice.h"

#include "devicereplies.h"
#include "pack7.h"
#include "pageframe.h"
#include "sysex.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int SevenBits = 7;
constexpr int DataReplyBytes = 64;      // one ReadChunk piece or one defect-list part
constexpr int PiecesPerChunk = PageFrame::ChunkSize / DataReplyBytes;
constexpr int DefectParts = 2;
constexpr int BlocksPerDefectPart = DataReplyBytes * 8;
constexpr int ListBlock = 0;
constexpr int ListEntriesOffset = 4;
constexpr int ListEntriesRead = 126;    // as many as fit in the 256 bytes a reader fetches
constexpr int BareLength = SysEx::ArgumentOffset + 1;
constexpr int ChecksumOffset = SysEx::ArgumentOffset;
constexpr int GroupsOffset = ChecksumOffset + 1;
constexpr std::uint8_t VersionShift = 8;  // low byte major, high byte minor

std::uint32_t groups(const std::uint8_t *bytes, int count)
{
    std::uint32_t value = 0;
    for (int i = 0; i < count; ++i)
        value |= std::uint32_t(bytes[i]) << (SevenBits * i);
    return value;
}

QString commandName(int command)
{
    switch (static_cast<Command>(command)) {
    case Command::Identify: return QStringLiteral("Identify");
    case Command::ReadDefectList: return QStringLiteral("ReadDefectList");
    case Command::ReadChunk: return QStringLiteral("ReadChunk");
    case Command::EraseBlock: return QStringLiteral("EraseBlock");
    case Command::BeginPage: return QStringLiteral("BeginPage");
    case Command::PageData: return QStringLiteral("PageData");
    case Command::ProgramPage: return QStringLiteral("ProgramPage");
    case Command::ResetNand: return QStringLiteral("ResetNand");
    case Command::Finish: return QStringLiteral("Finish");
    }
    return QStringLiteral("command %1").arg(command);
}

// Full length of each fixed-size command, 0 for PageData and unknown numbers.
int expectedLength(int command)
{
    // Argument bytes, the 0x7F marker included.
    switch (static_cast<Command>(command)) {
    case Command::Identify:
    case Command::ProgramPage:
    case Command::Finish: return BareLength;
    case Command::ReadDefectList: return BareLength + 1 + 1;      // part
    case Command::ReadChunk: return BareLength + 1 + 3 + 1;       // chunk address, piece
    case Command::EraseBlock: return BareLength + 1 + 2;          // block
    case Command::BeginPage: return BareLength + 1 + 2 + 1;       // block, page
    case Command::ResetNand: return BareLength + 1 + 1 + 4 + int(SysEx::ResetConfirmation.size());
    case Command::PageData: return 0;
    }
    return 0;
}

bool hasMarker(int command)
{
    const auto c = static_cast<Command>(command);
    return c == Command::ReadDefectList || c == Command::ReadChunk || c == Command::EraseBlock
        || c == Command::BeginPage;
}

bool knownCommand(int command)
{
    return command == 0 || (command >= int(Command::ReadDefectList) && command <= int(Command::Finish));
}

QString at(int block, int page)
{
    return QStringLiteral("block %1 page %2").arg(block).arg(page);
}

} // namespace

SimDevice::SimDevice() = default;

std::optional<SimDevice::ReadReach> SimDevice::reachNamed(const QString &name)
{
    const QString key = name.trimmed().toLower();
    if (key == QLatin1String("whole"))
        return ReadReach::WholeFlash;
    if (key == QLatin1String("block0"))
        return ReadReach::BlockZero;
    if (key == QLatin1String("block0-aliased"))
        return ReadReach::BlockZeroAliased;
    if (key == QLatin1String("block0-silent"))
        return ReadReach::BlockZeroSilent;
    return std::nullopt;
}

void SimDevice::setIdentity(const Identity &identity)
{
    id = identity;
}

void SimDevice::setFactoryDefects(const std::set<int> &blocks)
{
    factoryBad.clear();
    for (int block : blocks)
        if (SimNand::validBlock(block))
            factoryBad.insert(block);
}

void SimDevice::storeListCopies(int copies, const std::set<int> &badBlocks, std::int16_t factoryDefects)
{
    flash.eraseBlock(ListBlock);
    PageFrame frame;
    frame.bytes.fill(SimNand::ErasedByte);
    frame.bytes[0] = PageFrame::ListMarker;
    const auto data = [&frame](int offset) -> std::uint8_t & {
        return frame.bytes[PageFrame::frameOffset(offset)];
    };
    data(0) = data(1) = PageFrame::ListMarker;
    const auto count = static_cast<std::uint16_t>(factoryDefects);
    data(2) = static_cast<std::uint8_t>(count & 0xFF);
    data(3) = static_cast<std::uint8_t>(count >> 8);
    int entry = 0;
    for (int block : badBlocks) {
        if (!SimNand::validBlock(block) || entry == PageFrame::MaxListEntries)
            continue;
        data(ListEntriesOffset + 2 * entry) = static_cast<std::uint8_t>(block & 0xFF);
        data(ListEntriesOffset + 2 * entry + 1) = static_cast<std::uint8_t>(block >> 8);
        ++entry;
    }
    computeChunkEcc(frame);
    const QByteArray bytes(reinterpret_cast<const char *>(frame.bytes.data()), PageFrame::Size);
    for (int page = 0; page < std::min(copies, int(PagesPerBlock)); ++page)
        flash.program(ListBlock, page, bytes);
}

void SimDevice::eraseAll()
{
    flash.eraseAll();
    openPage.reset();
}

bool SimDevice::storeRawPage(int block, int page, const QByteArray &frame)
{
    return !flash.written(block, page) && flash.program(block, page, frame);
}

void SimDevice::failErase(int block)
{
    eraseFaults.insert(block);
}

void SimDevice::failProgram(int block, int page)
{
    programFaults.insert({block, page < 0 ? -1 : page});
}

std::vector<QByteArray> SimDevice::handle(const QByteArray &message)
{
    return handle(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
}

std::vector<QByteArray> SimDevice::handle(const std::uint8_t *data, std::size_t length)
{
    if (!data || length < std::size_t(BareLength)) {
        violation(QStringLiteral("message of %1 bytes is too short for a command").arg(length));
        return {};
    }
    if (!std::equal(SysEx::Head.begin(), SysEx::Head.end(), data)) {
        violation(QStringLiteral("message with a foreign head ignored"));
        return {};
    }
    if (data[length - 1] != SysEx::End) {
        violation(QStringLiteral("message without its end byte ignored"));
        return {};
    }
    for (std::size_t i = 1; i + 1 < length; ++i) {
        if (data[i] & 0x80) {
            violation(QStringLiteral("byte 0x%1 inside a message at offset %2")
                          .arg(data[i], 2, 16, QLatin1Char('0')).arg(i));
            return {};
        }
    }
    for (int i = int(SysEx::Head.size()); i < SysEx::HeadLength; ++i) {
        if (data[i] != 0) {
            violation(QStringLiteral("address bytes of a command are not zero"));
            break;
        }
    }

    const int command = data[SysEx::CommandOffset];
    if (!knownCommand(command)) {
        violation(QStringLiteral("unknown command %1 ignored").arg(command));
        return {};
    }
    const int expected = expectedLength(command);
    if (expected != 0 && length != std::size_t(expected)) {
        violation(QStringLiteral("%1 of %2 bytes ignored, expected %3")
                      .arg(commandName(command)).arg(length).arg(expected));
        return {};
    }
    const std::uint8_t *args = data + SysEx::ArgumentOffset;
    if (hasMarker(command)) {
        if (args[0] != SysEx::Marker) {
            violation(QStringLiteral("%1 without its 0x7F marker ignored").arg(commandName(command)));
            return {};
        }
        ++args;
    }

    switch (static_cast<Command>(command)) {
    case Command::Identify: return identify();
    case Command::ReadDefectList: return readDefectList(args);
    case Command::ReadChunk: return readChunk(args);
    case Command::EraseBlock: return eraseBlock(args);
    case Command::BeginPage: return beginPage(args);
    case Command::PageData: return pageData(data, length);
    case Command::ProgramPage: return programPage();
    case Command::ResetNand: return resetNand(args);
    case Command::Finish: return finish();
    }
    return {};
}

SimDevice::Replies SimDevice::identify()
{
    trace(QStringLiteral("Identify"));
    return {DeviceReply::identity(id.serialNumber, id.firmwareVersion, id.name)};
}

SimDevice::Replies SimDevice::readDefectList(const std::uint8_t *args)
{
    const int part = args[0];
    std::array<std::uint8_t, DataReplyBytes> bits{};
    if (part < DefectParts) {
        for (int block : factoryBad) {
            const int bit = block - part * BlocksPerDefectPart;
            if (bit >= 0 && bit < BlocksPerDefectPart)
                bits[bit / 8] |= static_cast<std::uint8_t>(1u << (bit % 8));
        }
    } else {
        violation(QStringLiteral("ReadDefectList of part %1, which does not exist").arg(part));
    }
    trace(QStringLiteral("ReadDefectList part %1").arg(part));
    return {DeviceReply::data(DeviceReply::answerType(Command::ReadDefectList), bits.data(), bits.size())};
}

SimDevice::Replies SimDevice::readChunk(const std::uint8_t *args)
{
    const int address = int(groups(args, 3));
    const int piece = args[3];
    // Pages are numbered across the flash, so block 0's come first.
    const int block = address / PageFrame::Chunks / PagesPerBlock;
    const int page = address / PageFrame::Chunks % PagesPerBlock;
    const int chunk = address % PageFrame::Chunks;
    std::array<std::uint8_t, DataReplyBytes> bytes;
    bytes.fill(SimNand::ErasedByte);
    if (!SimNand::validBlock(block) || piece >= PiecesPerChunk) {
        violation(QStringLiteral("ReadChunk %1 piece %2 lies outside the flash").arg(address).arg(piece));
    } else if (block == ListBlock || readReach == ReadReach::WholeFlash
               || readReach == ReadReach::BlockZeroAliased) {
        // An aliasing device sees only the address bits of block 0.
        const int first = chunk * PageFrame::ChunkSize + piece * DataReplyBytes;
        for (int i = 0; i < DataReplyBytes; ++i)
            bytes[i] = flash.dataByte(readReach == ReadReach::WholeFlash ? block : ListBlock, page, first + i);
    } else if (readReach == ReadReach::BlockZeroSilent) {
        trace(QStringLiteral("ReadChunk %1 piece %2 beyond block 0: no answer").arg(address).arg(piece));
        return {};
    }
    trace(QStringLiteral("ReadChunk %1 piece %2").arg(address).arg(piece));
    return {DeviceReply::data(DeviceReply::answerType(Command::ReadChunk), bytes.data(), bytes.size())};
}

SimDevice::Replies SimDevice::eraseBlock(const std::uint8_t *args)
{
    const int block = int(groups(args, 2));
    requireTransfer(QStringLiteral("EraseBlock"));
    bool ok = false;
    if (!SimNand::validBlock(block)) {
        violation(QStringLiteral("EraseBlock %1 beyond the flash").arg(block));
    } else if (!eraseFails(block)) {
        flash.eraseBlock(block);
        ok = true;
    }
    trace(QStringLiteral("EraseBlock %1: %2").arg(block).arg(ok ? QStringLiteral("ok") : QStringLiteral("FAIL")));
    return {DeviceReply::status(DeviceReply::answerType(Command::EraseBlock),
                                ok ? DeviceReply::StatusOk : DeviceReply::StatusFail)};
}

SimDevice::Replies SimDevice::beginPage(const std::uint8_t *args)
{
    const int block = int(groups(args, 2));
    const int page = args[2];
    requireTransfer(QStringLiteral("BeginPage"));
    if (keepRepeatedBuffer && openPage && openPage->block == block && openPage->page == page) {
        laxPage = true;
        openPage->sinceBegin.clear();
        openPage->pieces = 0;
        openPage->pieceMisfit = false;
        trace(QStringLiteral("BeginPage %1 again, buffer kept").arg(at(block, page)));
        return {DeviceReply::bare(DeviceReply::answerType(Command::BeginPage))};
    }
    // A page left open is abandoned: the updater restarts a block after a time-out.
    openPage.reset();
    laxPage = false;
    if (SimNand::validBlock(block) && SimNand::validPage(page)) {
        openPage = OpenPage{block, page, {}, {}, 0, false};
        openPage->frame.reserve(PageFrame::Size);
    } else {
        violation(QStringLiteral("BeginPage %1 beyond the flash").arg(at(block, page)));
    }
    trace(QStringLiteral("BeginPage %1").arg(at(block, page)));
    return {DeviceReply::bare(DeviceReply::answerType(Command::BeginPage))};
}

SimDevice::Replies SimDevice::pageData(const std::uint8_t *data, std::size_t length)
{
    const auto reply = [](std::uint8_t status) {
        return Replies{DeviceReply::status(DeviceReply::answerType(Command::PageData), status)};
    };
    requireTransfer(QStringLiteral("PageData"));
    const std::size_t groupBytes = length > std::size_t(GroupsOffset) ? length - GroupsOffset - 1 : 0;
    if (length < std::size_t(GroupsOffset + 1) || groupBytes % Pack7::GroupBytes != 0) {
        violation(QStringLiteral("PageData of %1 bytes does not hold whole groups").arg(length));
        trace(QStringLiteral("PageData malformed"));
        return reply(PieceMalformed);
    }
    std::array<std::uint8_t, SysEx::MaxMessageLength> piece;
    const std::size_t count = Pack7::decode(data + GroupsOffset, groupBytes, groupBytes,
                                            piece.data(), piece.size());
    // The most frequent command: its line is not even formatted when nobody listens.
    if (onCommand)
        trace(QStringLiteral("PageData %1 bytes").arg(count));
    if (Pack7::checksum(piece.data(), count) != data[ChecksumOffset]) {
        violation(QStringLiteral("PageData checksum 0x%1 does not match its data (0x%2)")
                      .arg(data[ChecksumOffset], 2, 16, QLatin1Char('0'))
                      .arg(Pack7::checksum(piece.data(), count), 2, 16, QLatin1Char('0')));
        return reply(PieceBadChecksum);
    }
    if (!openPage) {
        violation(QStringLiteral("PageData without BeginPage"));
        return reply(PieceNoPage);
    }
    // Pieces 0..31 carry 64 bytes, piece 32 the last 48.
    const int expected = openPage->pieces < PageFrame::Pieces ? PageFrame::pieceLength(openPage->pieces) : 0;
    openPage->pieceMisfit = openPage->pieceMisfit || int(count) != expected;
    ++openPage->pieces;
    openPage->sinceBegin.append(reinterpret_cast<const char *>(piece.data()), int(count));
    if (laxPage) {
        openPage->frame.append(reinterpret_cast<const char *>(piece.data()), int(count));
        openPage->frame.truncate(PageFrame::Size);
        return reply(PieceOk);
    }
    if (openPage->frame.size() + int(count) > PageFrame::Size) {
        violation(QStringLiteral("PageData beyond the %1 bytes of a page frame").arg(PageFrame::Size));
        return reply(PieceOverflow);
    }
    openPage->frame.append(reinterpret_cast<const char *>(piece.data()), int(count));
    return reply(PieceOk);
}

SimDevice::Replies SimDevice::programPage()
{
    const auto reply = [](bool ok) {
        return Replies{DeviceReply::status(DeviceReply::answerType(Command::ProgramPage),
                                           ok ? DeviceReply::StatusOk : DeviceReply::StatusFail)};
    };
    requireTransfer(QStringLiteral("ProgramPage"));
    if (!openPage) {
        violation(QStringLiteral("ProgramPage without BeginPage"));
        trace(QStringLiteral("ProgramPage: FAIL"));
        return reply(false);
    }
    OpenPage page = std::move(*openPage);
    openPage.reset();
    const QString where = at(page.block, page.page);

    bool ok = true;
    // Whatever the link did, a frame that is not the 33 pieces of one page
    // must never be programmed: the updater had to notice first.
    if (page.pieces != PageFrame::Pieces || page.pieceMisfit)
        violation(QStringLiteral("ProgramPage %1 after %2 pieces%3, not the %4 of one page frame")
                      .arg(where).arg(page.pieces)
                      .arg(page.pieceMisfit ? QStringLiteral(" of the wrong sizes") : QString())
                      .arg(PageFrame::Pieces));
    if (std::exchange(laxPage, false)) {
        page.frame.resize(PageFrame::Size, char(0xFF));
        if (page.frame != page.sinceBegin)
            violation(QStringLiteral("ProgramPage %1 reported programmed, holding other than its frame").arg(where));
    } else if (page.frame.size() != PageFrame::Size) {
        violation(QStringLiteral("ProgramPage %1 with %2 of %3 bytes")
                      .arg(where).arg(page.frame.size()).arg(PageFrame::Size));
        ok = false;
    } else {
        const auto *bytes = reinterpret_cast<const std::uint8_t *>(page.frame.constData());
        for (int k = 0; k < PageFrame::Chunks; ++k) {
            const std::uint8_t *chunk = bytes + PageFrame::HeaderSize + k * PageFrame::ChunkStride;
            const auto ecc = chunkEcc(chunk);
            if (!std::equal(ecc.begin(), ecc.end(), chunk + PageFrame::ChunkSize)) {
                violation(QStringLiteral("ProgramPage %1: check bytes of chunk %2 do not match")
                              .arg(where).arg(k));
                ok = false;
            }
        }
    }
    if (ok && programFails(page.block, page.page))
        ok = false;
    if (ok && wrongStores.erase({page.block, page.page}))
        page.frame[PageFrame::frameOffset(100)] = char(page.frame[PageFrame::frameOffset(100)] ^ 0x10);
    if (ok && !flash.program(page.block, page.page, page.frame)) {
        violation(QStringLiteral("ProgramPage %1 over a page not erased since it was written").arg(where));
        ok = false;
    }
    trace(QStringLiteral("ProgramPage %1: %2").arg(where, ok ? QStringLiteral("ok") : QStringLiteral("FAIL")));
    return reply(ok);
}

SimDevice::Replies SimDevice::resetNand(const std::uint8_t *args)
{
    const std::uint8_t major = args[0];
    const std::uint8_t minor = args[1];
    const std::uint32_t size = groups(args + 2, 4);
    if (!std::equal(SysEx::ResetConfirmation.begin(), SysEx::ResetConfirmation.end(), args + 6)) {
        // The code guards the flash against a stray message: refuse, say nothing.
        violation(QStringLiteral("ResetNand with a wrong confirmation code refused"));
        trace(QStringLiteral("ResetNand refused"));
        return {};
    }
    if (size == 0 || size > DataCapacity)
        violation(QStringLiteral("ResetNand announces an image of %1 bytes").arg(size));
    announcedVer = major | (std::uint32_t(minor) << VersionShift);
    announcedBytes = size;
    announced = true;
    transfer = true;
    openPage.reset();
    trace(QStringLiteral("ResetNand %1.%2, %3 bytes").arg(major).arg(minor, 2, 10, QLatin1Char('0')).arg(size));
    return {DeviceReply::transferState(true), DeviceReply::bare(DeviceReply::answerType(Command::ResetNand))};
}

SimDevice::Replies SimDevice::finish()
{
    if (openPage) {
        violation(QStringLiteral("Finish with %1 begun but not programmed").arg(at(openPage->block, openPage->page)));
        openPage.reset();
    }
    // A Finish again after one that closed a transfer is the updater making
    // sure, when the transfer-off report may have got lost.
    if (!transfer && finishes == 0)
        violation(QStringLiteral("Finish outside a transfer"));
    if (announced)
        id.firmwareVersion = announcedVer;
    announced = false;
    transfer = false;
    ++finishes;
    trace(QStringLiteral("Finish"));
    return {DeviceReply::transferState(false)};
}

bool SimDevice::eraseFails(int block) const
{
    return eraseFaults.count(block) != 0 || factoryBad.count(block) != 0;
}

bool SimDevice::programFails(int block, int page) const
{
    return factoryBad.count(block) != 0 || programFaults.count({block, -1}) != 0
        || programFaults.count({block, page}) != 0;
}

void SimDevice::requireTransfer(const QString &command)
{
    if (!transfer)
        violation(QStringLiteral("%1 outside a transfer (no ResetNand)").arg(command));
}

void SimDevice::violation(const QString &what)
{
    problems.push_back(what);
    trace(QStringLiteral("!! ") + what);
}

void SimDevice::trace(const QString &line) const
{
    if (onCommand)
        onCommand(line);
}

QByteArray SimDevice::image(std::int64_t size, QStringList *headerProblems) const
{
    const auto list = storedList();
    if (!list || size <= 0)
        return {};
    QByteArray bytes;
    bytes.reserve(int(std::min(size, DataCapacity)));
    int imageBlock = 0;
    for (int block = ListBlock + 1; block < Blocks && bytes.size() < size; ++block) {
        if (list->badBlocks.count(block))
            continue;
        for (int page = 0; page < PagesPerBlock && bytes.size() < size; ++page) {
            if (headerProblems) {
                const std::uint8_t header = flash.headerByte(block, page, 0);
                if (!flash.written(block, page))
                    headerProblems->append(QStringLiteral("%1 holds no data").arg(at(block, page)));
                else if (header != (imageBlock & 0xFF))
                    headerProblems->append(QStringLiteral("%1 is marked for image block %2, not %3")
                                               .arg(at(block, page)).arg(header).arg(imageBlock & 0xFF));
            }
            const int take = int(std::min<std::int64_t>(PageBytes, size - bytes.size()));
            for (int i = 0; i < take; ++i)
                bytes.append(static_cast<char>(flash.dataByte(block, page, i)));
        }
        ++imageBlock;
    }
    return bytes;
}

std::optional<SimDevice::StoredList> SimDevice::storedList() const
{
    for (int page = PagesPerBlock - 1; page >= 0; --page) {
        if (flash.headerByte(ListBlock, page, 0) != PageFrame::ListMarker
            || flash.dataByte(ListBlock, page, 0) != PageFrame::ListMarker
            || flash.dataByte(ListBlock, page, 1) != PageFrame::ListMarker)
            continue;
        const auto word = [&](int offset) {
            return flash.dataByte(ListBlock, page, offset) | (flash.dataByte(ListBlock, page, offset + 1) << 8);
        };
        StoredList list;
        list.page = page;
        list.factoryDefects = static_cast<std::int16_t>(word(2));
        for (int i = 0; i < ListEntriesRead; ++i) {
            const int block = word(ListEntriesOffset + 2 * i);
            if (!SimNand::validBlock(block))
                break;
            list.badBlocks.insert(block);
        }
        return list;
    }
    return std::nullopt;
}

int SimDevice::listCopies() const
{
    int used = 0;
    for (int page = 0; page < PagesPerBlock; ++page)
        used += flash.written(ListBlock, page) ? 1 : 0;
    return used;
}

QByteArray SimDevice::pageFrame(int block, int page) const
{
    return flash.frame(block, page);
}

bool SimDevice::pageWritten(int block, int page) const
{
    return flash.written(block, page);
}
