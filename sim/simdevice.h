#pragma once

#include <QByteArray>
#include <QString>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <vector>

// A simulated device: answers every command as the real one must, keeps a NAND
// of 1024 blocks of 64 pages and checks what it is sent. Plain and
// single-threaded; the sim MIDI service and the tests drive it.
class SimDevice
{
public:
    static constexpr int Blocks = 1024;
    static constexpr int PagesPerBlock = 64;
    static constexpr int PageBytes = 2048;

    struct Identity
    {
        std::uint32_t serialNumber = 123456789;  // shows as 586-638-764
        std::uint32_t firmwareVersion = 0x0801;  // 1.08
        QString name = QStringLiteral("Qel");
    };

    SimDevice();

    // Starting state.
    void setIdentity(const Identity &identity);
    const Identity &identity() const { return id; }
    void setFactoryDefects(const std::set<int> &blocks);  // what ReadDefectList reports
    // Writes `copies` identical copies of a list into pages 0..copies-1 of block 0.
    void storeListCopies(int copies, const std::set<int> &badBlocks, std::int16_t factoryDefects);
    void eraseAll();

    // Faults of the flash itself: the erase or program of these fails (page -1: every page).
    void failErase(int block);
    void failProgram(int block, int page = -1);

    // One command in; the replies the device sends, in order (none for Finish
    // or a message it does not understand). A TransferState report goes out
    // when ResetNand arrives (on) and after Finish (off).
    std::vector<QByteArray> handle(const std::uint8_t *data, std::size_t length);

    // What it found wrong in what it was sent (bad checksum, bad check bytes,
    // a page programmed with pieces missing, ...), one line each.
    const std::vector<QString> &violations() const { return problems; }
    // One line per command handled, for the simulator's verbose mode.
    std::function<void(const QString &)> onCommand;

    // Reading back.
    // The image as the device would boot it: the data pages of the blocks its
    // newest stored list calls good, from block 1 upward, cut to `size`.
    QByteArray image(std::int64_t size) const;
    // The newest intact list copy in block 0: bad blocks and factory count;
    // nothing when block 0 holds none.
    struct StoredList { std::set<int> badBlocks; std::int16_t factoryDefects = 0; int page = 0; };
    std::optional<StoredList> storedList() const;
    int listCopies() const;  // used pages of block 0
    // Raw page frame (2096 bytes) or an empty array for an erased page.
    QByteArray pageFrame(int block, int page) const;
    bool pageWritten(int block, int page) const;
    bool transferOn() const { return transfer; }
    int finishCount() const { return finishes; }

private:
    struct Impl;
    // Members left to the implementation.
    Identity id;
    std::vector<QString> problems;
    bool transfer = false;
    int finishes = 0;
};
