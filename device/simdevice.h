#pragma once

#include "devicebytes.h"
#include "simnand.h"

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A simulated device: answers every command as the real one must, keeps a NAND
// of 1024 blocks of 64 pages and checks what it is sent. Plain and
// single-threaded; the sim MIDI service and the tests drive it.
class SimDevice
{
public:
    static constexpr int Blocks = SimNand::Blocks;
    static constexpr int PagesPerBlock = SimNand::PagesPerBlock;
    static constexpr int PageBytes = 2048;
    // Bytes of image the data blocks 1..1023 can hold.
    static constexpr std::int64_t DataCapacity = std::int64_t(Blocks - 1) * PagesPerBlock * PageBytes;
    // PageData status bytes: what went wrong with the piece.
    static constexpr std::uint8_t PieceOk = 0;
    static constexpr std::uint8_t PieceBadChecksum = 1;
    static constexpr std::uint8_t PieceNoPage = 2;
    static constexpr std::uint8_t PieceOverflow = 3;
    static constexpr std::uint8_t PieceMalformed = 4;

    // How far ReadChunk reaches. The contract promises block 0 only; what a
    // device answers beyond it is its own affair.
    enum class ReadReach {
        WholeFlash,        // every page of the flash, addressed on from block 0
        BlockZero,         // beyond block 0: 0xFF
        BlockZeroAliased,  // beyond block 0: the block-0 chunk at the address modulo 512
        BlockZeroSilent,   // beyond block 0: no answer at all
    };

    struct Identity
    {
        std::uint32_t serialNumber = 123456789;  // shows as 586-638-764
        std::uint32_t firmwareVersion = 0x0801;  // 1.08
        std::string name = "Qel";  // Latin-1
    };

    SimDevice();

    // Starting state.
    void setIdentity(const Identity &identity);
    const Identity &identity() const { return id; }
    void setFactoryDefects(const std::set<int> &blocks);  // what ReadDefectList reports
    const std::set<int> &factoryDefects() const { return factoryBad; }
    // Writes `copies` identical copies of a list into pages 0..copies-1 of block 0.
    void storeListCopies(int copies, const std::set<int> &badBlocks, std::int16_t factoryDefects);
    void eraseAll();
    // Programs a raw 2096-byte frame into an erased page, as a half-finished
    // program (a power cut) can leave one; false when the page was not erased.
    bool storeRawPage(int block, int page, const Bytes &frame);

    // Faults of the flash itself: the erase or program of these fails (page -1: every page).
    // Erasing a factory-marked block fails as well.
    void failErase(int block);
    void failProgram(int block, int page = -1);
    // Faults of a careless device, which it does not report: a BeginPage for
    // the page already open keeps what its buffer holds (later pieces go on
    // behind it, what does not fit is dropped, nothing is checked); the next
    // program of a chosen page stores one byte wrong.
    void keepBufferOnRepeatedBeginPage(bool on) { keepRepeatedBuffer = on; }
    void storeWrong(int block, int page) { wrongStores.insert({block, page}); }
    void setReadReach(ReadReach reach) { readReach = reach; }
    ReadReach reach() const { return readReach; }
    // "whole", "block0", "block0-aliased" or "block0-silent", as the
    // simulator's option and QEL_SIM_READS take it.
    static std::optional<ReadReach> reachNamed(std::string_view name);

    // One command in; the replies the device sends, in order (none for Finish
    // or a message it does not understand). A TransferState report goes out
    // when ResetNand arrives (on) and after Finish (off). After a Finish that
    // closes a transfer the device runs the announced version.
    std::vector<Bytes> handle(const std::uint8_t *data, std::size_t length);
    std::vector<Bytes> handle(const Bytes &message);

    // What it found wrong in what it was sent (bad checksum, bad check bytes,
    // a page programmed with pieces missing, ...), one line each.
    const std::vector<std::string> &violations() const { return problems; }
    void clearViolations() { problems.clear(); }
    // One line per command handled, for the simulator's verbose mode.
    std::function<void(const std::string &)> onCommand;

    // Reading back.
    // The image as the device would boot it: the data pages of the blocks its
    // newest stored list calls good, from block 1 upward, cut to `size`; empty
    // without a stored list, shorter when the good blocks run out. Pages whose
    // header does not name their image block are listed in `headerProblems`.
    Bytes image(std::int64_t size, std::vector<std::string> *headerProblems = nullptr) const;
    // The newest intact list copy in block 0: bad blocks and factory count;
    // nothing when block 0 holds none.
    struct StoredList { std::set<int> badBlocks; std::int16_t factoryDefects = 0; int page = 0; };
    std::optional<StoredList> storedList() const;
    int listCopies() const;  // used pages of block 0
    // Raw page frame (2096 bytes) or an empty array for an erased page.
    Bytes pageFrame(int block, int page) const;
    bool pageWritten(int block, int page) const;
    const SimNand &nand() const { return flash; }
    bool transferOn() const { return transfer; }
    int finishCount() const { return finishes; }
    // What the last accepted ResetNand announced.
    std::uint32_t announcedVersion() const { return announcedVer; }
    std::uint32_t announcedSize() const { return announcedBytes; }

private:
    using Replies = std::vector<Bytes>;

    struct OpenPage
    {
        int block = 0;
        int page = 0;
        Bytes frame;
        Bytes sinceBegin;  // what came after the latest BeginPage
        int pieces = 0;         // pieces since then
        bool pieceMisfit = false;  // one of them was not of its place's size
    };

    Replies identify();
    Replies readDefectList(const std::uint8_t *args);
    Replies readChunk(const std::uint8_t *args);
    Replies eraseBlock(const std::uint8_t *args);
    Replies beginPage(const std::uint8_t *args);
    Replies pageData(const std::uint8_t *data, std::size_t length);
    Replies programPage();
    Replies resetNand(const std::uint8_t *args);
    Replies finish();

    bool eraseFails(int block) const;
    bool programFails(int block, int page) const;
    // Reports a command that changes the flash outside a transfer.
    void requireTransfer(const char *command);
    void violation(const std::string &what);
    void trace(const std::string &line) const;

    Identity id;
    SimNand flash;
    std::set<int> factoryBad;
    std::set<int> eraseFaults;
    std::set<std::pair<int, int>> programFaults;  // page -1 stands for the whole block
    std::set<std::pair<int, int>> wrongStores;
    bool keepRepeatedBuffer = false;
    bool laxPage = false;  // the open page took a repeated BeginPage
    ReadReach readReach = ReadReach::WholeFlash;
    std::optional<OpenPage> openPage;
    std::vector<std::string> problems;
    std::uint32_t announcedVer = 0;
    std::uint32_t announcedBytes = 0;
    bool announced = false;
    bool transfer = false;
    int finishes = 0;
};
