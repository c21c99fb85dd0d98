#include "simdevice.h"

#include "devicereplies.h"
#include "devicetext.h"
#include "pack7.h"
#include "pageframe.h"
#include "sysex.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace {

using DeviceText::at;
using DeviceText::hexByte;
using std::to_string;

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

std::string commandName(int command)
{
    switch (static_cast<Command>(command)) {
    case Command::Identify: return "Identify";
    case Command::ReadDefectList: return "ReadDefectList";
    case Command::ReadChunk: return "ReadChunk";
    case Command::EraseBlock: return "EraseBlock";
    case Command::BeginPage: return "BeginPage";
    case Command::PageData: return "PageData";
    case Command::ProgramPage: return "ProgramPage";
    case Command::ResetNand: return "ResetNand";
    case Command::Finish: return "Finish";
    }
    return "command " + to_string(command);
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

} // namespace

SimDevice::SimDevice() = default;

std::optional<SimDevice::ReadReach> SimDevice::reachNamed(std::string_view name)
{
    const auto space = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
    while (!name.empty() && space(name.front()))
        name.remove_prefix(1);
    while (!name.empty() && space(name.back()))
        name.remove_suffix(1);
    std::string key(name);
    for (char &c : key)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (key == "whole")
        return ReadReach::WholeFlash;
    if (key == "block0")
        return ReadReach::BlockZero;
    if (key == "block0-aliased")
        return ReadReach::BlockZeroAliased;
    if (key == "block0-silent")
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
    const Bytes bytes(frame.bytes.begin(), frame.bytes.end());
    for (int page = 0; page < std::min(copies, int(PagesPerBlock)); ++page)
        flash.program(ListBlock, page, bytes);
}

void SimDevice::eraseAll()
{
    flash.eraseAll();
    openPage.reset();
}

bool SimDevice::storeRawPage(int block, int page, const Bytes &frame)
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

std::vector<Bytes> SimDevice::handle(const Bytes &message)
{
    return handle(message.data(), message.size());
}

std::vector<Bytes> SimDevice::handle(const std::uint8_t *data, std::size_t length)
{
    if (!data || length < std::size_t(BareLength)) {
        violation("message of " + to_string(length) + " bytes is too short for a command");
        return {};
    }
    if (!std::equal(SysEx::Head.begin(), SysEx::Head.end(), data)) {
        violation("message with a foreign head ignored");
        return {};
    }
    if (data[length - 1] != SysEx::End) {
        violation("message without its end byte ignored");
        return {};
    }
    for (std::size_t i = 1; i + 1 < length; ++i) {
        if (data[i] & 0x80) {
            violation("byte " + hexByte(data[i]) + " inside a message at offset " + to_string(i));
            return {};
        }
    }
    for (int i = int(SysEx::Head.size()); i < SysEx::HeadLength; ++i) {
        if (data[i] != 0) {
            violation("address bytes of a command are not zero");
            break;
        }
    }

    const int command = data[SysEx::CommandOffset];
    if (!knownCommand(command)) {
        violation("unknown command " + to_string(command) + " ignored");
        return {};
    }
    const int expected = expectedLength(command);
    if (expected != 0 && length != std::size_t(expected)) {
        violation(commandName(command) + " of " + to_string(length) + " bytes ignored, expected "
                  + to_string(expected));
        return {};
    }
    const std::uint8_t *args = data + SysEx::ArgumentOffset;
    if (hasMarker(command)) {
        if (args[0] != SysEx::Marker) {
            violation(commandName(command) + " without its 0x7F marker ignored");
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
    trace("Identify");
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
        violation("ReadDefectList of part " + to_string(part) + ", which does not exist");
    }
    trace("ReadDefectList part " + to_string(part));
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
        violation("ReadChunk " + to_string(address) + " piece " + to_string(piece) + " lies outside the flash");
    } else if (block == ListBlock || readReach == ReadReach::WholeFlash
               || readReach == ReadReach::BlockZeroAliased) {
        // An aliasing device sees only the address bits of block 0.
        const int first = chunk * PageFrame::ChunkSize + piece * DataReplyBytes;
        for (int i = 0; i < DataReplyBytes; ++i)
            bytes[i] = flash.dataByte(readReach == ReadReach::WholeFlash ? block : ListBlock, page, first + i);
    } else if (readReach == ReadReach::BlockZeroSilent) {
        trace("ReadChunk " + to_string(address) + " piece " + to_string(piece) + " beyond block 0: no answer");
        return {};
    }
    trace("ReadChunk " + to_string(address) + " piece " + to_string(piece));
    return {DeviceReply::data(DeviceReply::answerType(Command::ReadChunk), bytes.data(), bytes.size())};
}

SimDevice::Replies SimDevice::eraseBlock(const std::uint8_t *args)
{
    const int block = int(groups(args, 2));
    requireTransfer("EraseBlock");
    bool ok = false;
    if (!SimNand::validBlock(block)) {
        violation("EraseBlock " + to_string(block) + " beyond the flash");
    } else if (!eraseFails(block)) {
        flash.eraseBlock(block);
        ok = true;
    }
    trace("EraseBlock " + to_string(block) + (ok ? ": ok" : ": FAIL"));
    return {DeviceReply::status(DeviceReply::answerType(Command::EraseBlock),
                                ok ? DeviceReply::StatusOk : DeviceReply::StatusFail)};
}

SimDevice::Replies SimDevice::beginPage(const std::uint8_t *args)
{
    const int block = int(groups(args, 2));
    const int page = args[2];
    requireTransfer("BeginPage");
    if (keepRepeatedBuffer && openPage && openPage->block == block && openPage->page == page) {
        laxPage = true;
        openPage->sinceBegin.clear();
        openPage->pieces = 0;
        openPage->pieceMisfit = false;
        trace("BeginPage " + at(block, page) + " again, buffer kept");
        return {DeviceReply::bare(DeviceReply::answerType(Command::BeginPage))};
    }
    // A page left open is abandoned: the updater restarts a block after a time-out.
    openPage.reset();
    laxPage = false;
    if (SimNand::validBlock(block) && SimNand::validPage(page)) {
        openPage = OpenPage{block, page, {}, {}, 0, false};
        openPage->frame.reserve(PageFrame::Size);
    } else {
        violation("BeginPage " + at(block, page) + " beyond the flash");
    }
    trace("BeginPage " + at(block, page));
    return {DeviceReply::bare(DeviceReply::answerType(Command::BeginPage))};
}

SimDevice::Replies SimDevice::pageData(const std::uint8_t *data, std::size_t length)
{
    const auto reply = [](std::uint8_t status) {
        return Replies{DeviceReply::status(DeviceReply::answerType(Command::PageData), status)};
    };
    requireTransfer("PageData");
    const std::size_t groupBytes = length > std::size_t(GroupsOffset) ? length - GroupsOffset - 1 : 0;
    if (length < std::size_t(GroupsOffset + 1) || groupBytes % Pack7::GroupBytes != 0) {
        violation("PageData of " + to_string(length) + " bytes does not hold whole groups");
        trace("PageData malformed");
        return reply(PieceMalformed);
    }
    std::array<std::uint8_t, SysEx::MaxMessageLength> piece;
    const std::size_t count = Pack7::decode(data + GroupsOffset, groupBytes, groupBytes,
                                            piece.data(), piece.size());
    // The most frequent command: its line is not even formatted when nobody listens.
    if (onCommand)
        trace("PageData " + to_string(count) + " bytes");
    if (Pack7::checksum(piece.data(), count) != data[ChecksumOffset]) {
        violation("PageData checksum " + hexByte(data[ChecksumOffset]) + " does not match its data ("
                  + hexByte(Pack7::checksum(piece.data(), count)) + ")");
        return reply(PieceBadChecksum);
    }
    if (!openPage) {
        violation("PageData without BeginPage");
        return reply(PieceNoPage);
    }
    // Pieces 0..31 carry 64 bytes, piece 32 the last 48.
    const int expected = openPage->pieces < PageFrame::Pieces ? PageFrame::pieceLength(openPage->pieces) : 0;
    openPage->pieceMisfit = openPage->pieceMisfit || int(count) != expected;
    ++openPage->pieces;
    openPage->sinceBegin.insert(openPage->sinceBegin.end(), piece.begin(), piece.begin() + count);
    if (laxPage) {
        openPage->frame.insert(openPage->frame.end(), piece.begin(), piece.begin() + count);
        if (openPage->frame.size() > std::size_t(PageFrame::Size))
            openPage->frame.resize(PageFrame::Size);
        return reply(PieceOk);
    }
    if (openPage->frame.size() + count > std::size_t(PageFrame::Size)) {
        violation("PageData beyond the " + to_string(PageFrame::Size) + " bytes of a page frame");
        return reply(PieceOverflow);
    }
    openPage->frame.insert(openPage->frame.end(), piece.begin(), piece.begin() + count);
    return reply(PieceOk);
}

SimDevice::Replies SimDevice::programPage()
{
    const auto reply = [](bool ok) {
        return Replies{DeviceReply::status(DeviceReply::answerType(Command::ProgramPage),
                                           ok ? DeviceReply::StatusOk : DeviceReply::StatusFail)};
    };
    requireTransfer("ProgramPage");
    if (!openPage) {
        violation("ProgramPage without BeginPage");
        trace("ProgramPage: FAIL");
        return reply(false);
    }
    OpenPage page = std::move(*openPage);
    openPage.reset();
    const std::string where = at(page.block, page.page);

    bool ok = true;
    // Whatever the link did, a frame that is not the 33 pieces of one page
    // must never be programmed: the updater had to notice first.
    if (page.pieces != PageFrame::Pieces || page.pieceMisfit)
        violation("ProgramPage " + where + " after " + to_string(page.pieces) + " pieces"
                  + (page.pieceMisfit ? " of the wrong sizes" : "") + ", not the " + to_string(PageFrame::Pieces)
                  + " of one page frame");
    if (std::exchange(laxPage, false)) {
        page.frame.resize(PageFrame::Size, SimNand::ErasedByte);
        if (page.frame != page.sinceBegin)
            violation("ProgramPage " + where + " reported programmed, holding other than its frame");
    } else if (page.frame.size() != std::size_t(PageFrame::Size)) {
        violation("ProgramPage " + where + " with " + to_string(page.frame.size()) + " of "
                  + to_string(PageFrame::Size) + " bytes");
        ok = false;
    } else {
        const std::uint8_t *bytes = page.frame.data();
        for (int k = 0; k < PageFrame::Chunks; ++k) {
            const std::uint8_t *chunk = bytes + PageFrame::HeaderSize + k * PageFrame::ChunkStride;
            const auto ecc = chunkEcc(chunk);
            if (!std::equal(ecc.begin(), ecc.end(), chunk + PageFrame::ChunkSize)) {
                violation("ProgramPage " + where + ": check bytes of chunk " + to_string(k) + " do not match");
                ok = false;
            }
        }
    }
    if (ok && programFails(page.block, page.page))
        ok = false;
    if (ok && wrongStores.erase({page.block, page.page}))
        page.frame[std::size_t(PageFrame::frameOffset(100))] ^= 0x10;
    if (ok && !flash.program(page.block, page.page, page.frame)) {
        violation("ProgramPage " + where + " over a page not erased since it was written");
        ok = false;
    }
    trace("ProgramPage " + where + (ok ? ": ok" : ": FAIL"));
    return reply(ok);
}

SimDevice::Replies SimDevice::resetNand(const std::uint8_t *args)
{
    const std::uint8_t major = args[0];
    const std::uint8_t minor = args[1];
    const std::uint32_t size = groups(args + 2, 4);
    if (!std::equal(SysEx::ResetConfirmation.begin(), SysEx::ResetConfirmation.end(), args + 6)) {
        // The code guards the flash against a stray message: refuse, say nothing.
        violation("ResetNand with a wrong confirmation code refused");
        trace("ResetNand refused");
        return {};
    }
    if (size == 0 || size > DataCapacity)
        violation("ResetNand announces an image of " + to_string(size) + " bytes");
    announcedVer = major | (std::uint32_t(minor) << VersionShift);
    announcedBytes = size;
    announced = true;
    transfer = true;
    openPage.reset();
    trace("ResetNand " + to_string(major) + "." + (minor < 10 ? "0" : "") + to_string(minor) + ", "
          + to_string(size) + " bytes");
    return {DeviceReply::transferState(true), DeviceReply::bare(DeviceReply::answerType(Command::ResetNand))};
}

SimDevice::Replies SimDevice::finish()
{
    if (openPage) {
        violation("Finish with " + at(openPage->block, openPage->page) + " begun but not programmed");
        openPage.reset();
    }
    // A Finish again after one that closed a transfer is the updater making
    // sure, when the transfer-off report may have got lost.
    if (!transfer && finishes == 0)
        violation("Finish outside a transfer");
    if (announced)
        id.firmwareVersion = announcedVer;
    announced = false;
    transfer = false;
    ++finishes;
    trace("Finish");
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

void SimDevice::requireTransfer(const char *command)
{
    if (!transfer)
        violation(std::string(command) + " outside a transfer (no ResetNand)");
}

void SimDevice::violation(const std::string &what)
{
    problems.push_back(what);
    trace("!! " + what);
}

void SimDevice::trace(const std::string &line) const
{
    if (onCommand)
        onCommand(line);
}

Bytes SimDevice::image(std::int64_t size, std::vector<std::string> *headerProblems) const
{
    const auto list = storedList();
    if (!list || size <= 0)
        return {};
    Bytes bytes;
    bytes.reserve(std::size_t(std::min(size, DataCapacity)));
    int imageBlock = 0;
    const auto held = [&bytes] { return std::int64_t(bytes.size()); };
    for (int block = ListBlock + 1; block < Blocks && held() < size; ++block) {
        if (list->badBlocks.count(block))
            continue;
        for (int page = 0; page < PagesPerBlock && held() < size; ++page) {
            if (headerProblems) {
                const std::uint8_t header = flash.headerByte(block, page, 0);
                if (!flash.written(block, page))
                    headerProblems->push_back(at(block, page) + " holds no data");
                else if (header != (imageBlock & 0xFF))
                    headerProblems->push_back(at(block, page) + " is marked for image block " + to_string(header)
                                              + ", not " + to_string(imageBlock & 0xFF));
            }
            const int take = int(std::min<std::int64_t>(PageBytes, size - held()));
            for (int i = 0; i < take; ++i)
                bytes.push_back(flash.dataByte(block, page, i));
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

Bytes SimDevice::pageFrame(int block, int page) const
{
    return flash.frame(block, page);
}

bool SimDevice::pageWritten(int block, int page) const
{
    return flash.written(block, page);
}
