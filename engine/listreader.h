#pragma once

#include "badblocklist.h"
#include "commandlink.h"

#include <array>
#include <cstdint>

// Finds the bad-block list: the newest copy in block 0, or on a flash
// without one the factory defect list.
//
// The pages of block 0 are probed in order until an empty one (first data
// byte 0xFF); the last page in use holds the newest copy, which is read in
// four pieces. Replies carry no sequence number, so a duplicated or garbled
// answer could make an empty page look like the newest copy. Hence every copy
// and the defect list are read twice and must agree, the page after the
// newest copy is probed again, and a copy whose markers are not A5 A5 (a
// power cut while it was programmed) is passed over for the one before it.
// When answers disagree, a fence lets any answer still on its way go by and
// block 0 is searched again; after a few such searches the list counts as
// unreadable. A lost answer asks the same read again.
class ListReader
{
public:
    static constexpr int MaxScans = 3;
    static constexpr int PagesPerBlock = 64;

    enum class Result {
        Busy,
        CopyLoaded,     // the list holds the newest copy; usedPages() pages of block 0 are in use
        DefectsLoaded,  // no copy: the list holds the factory defects
        Unreadable,     // answers never agreed
    };

    ListReader(CommandLink &link, EngineListener &listener, BadBlockList &list);

    void start();
    Result onAnswer(const Reply &reply);
    Result afterFence();

    int usedPages() const { return used; }

private:
    static constexpr int ChunkBytes = 256;
    using ReadBack = std::array<std::uint8_t, ChunkBytes>;

    void scan();
    void probePage(int page);
    void readCopy();
    void readPiece();
    Result probeBoundary();
    void readDefects();
    Result onPageProbed(const Reply &reply);
    Result onCopyPiece(const Reply &reply);
    Result onDefectPart(const Reply &reply);
    Result distrust();
    Result loadCopy();
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }

    enum class Step { Search, Boundary, Copy, Defects };

    CommandLink &link;
    EngineListener &listener;
    BadBlockList &list;
    BadBlockList::Trace listTrace;
    Step step = Step::Search;
    std::array<ReadBack, 2> readBack{};
    int page = 0;
    int used = 0;
    int piece = 0;
    int pass = 0;
    int scans = 0;
    bool copyFound = false;
    bool rescanDue = false;
};
