#pragma once

#include "badblocklist.h"
#include "pagereader.h"
#include "pagewriter.h"

// Stores a copy of the bad-block list in block 0.
//
// The copy goes to the first free page of block 0. On a new flash, or when
// every page is used, block 0 is erased first and the copy goes to its page
// 0; from that erase until a copy is in, the device holds no list at all, so
// the owner holds every ending off (holdsNoList()). The erase's own result is
// not examined: the program of the copy tells.
//
// Block 0 can always be read back, so every copy is: as sent, it is stored. A
// copy whose ProgramPage answer was lost and that reads back erased was never
// programmed and goes into the same page again. A copy that failed or reads
// back otherwise leaves its page in use, and goes to the next page. A page
// left erased by a failure cannot be passed: a copy after it would be hidden
// from every search, which stops at the first empty page.
class ListWriter
{
public:
    static constexpr int PagesPerBlock = 64;
    // Tries of one copy after lost answers before it is given up.
    static constexpr int MaxTries = 40;

    enum class Result { Busy, Stored, Failed };

    ListWriter(CommandLink &link, EngineListener &listener, const BadBlockList &list, PageFrame &frame);

    // Stores the list in `freePage`, or after erasing block 0 when that is
    // past the last page.
    void store(int freePage);
    Result onAnswer(const Reply &reply);
    Result afterFence();

    bool holdsNoList() const { return holding; }
    int page() const { return writer.page(); }

private:
    enum class Step { Erase, Write, Check };

    void write(int page);
    Result onWritten(PageWriter::Result result);
    Result onChecked(PageReader::Result result);
    Result nextPage();
    Result stored();
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }

    CommandLink &link;
    EngineListener &listener;
    const BadBlockList &list;
    PageFrame &frame;
    PageWriter writer;
    PageReader reader;
    Step step = Step::Erase;
    bool holding = false;
    bool programAnswerLost = false;
    bool programFailed = false;
    int tries = 0;
};
