#pragma once

#include "commandlink.h"
#include "pageframe.h"

// Writes one page: BeginPage, the 33 pieces of the frame, each sent on the
// answer to the one before, then ProgramPage.
//
// A lost answer to BeginPage or to a piece writes the page again from its
// BeginPage, which starts the frame afresh on a device that keeps the
// contract. A lost answer to ProgramPage cannot be mended here: whether the
// page was programmed is unknown, and a page must never be programmed twice
// without an erase, so the owner decides (read it back, or erase the block).
class PageWriter
{
public:
    enum class Result {
        Busy,
        Begun,       // BeginPage answered; the first piece is on its way
        Programmed,
        Failed,      // the device reported the program failed
        Unknown,     // ProgramPage's answer was lost
    };

    PageWriter(CommandLink &link, const PageFrame &frame) : link(link), frame(frame) {}

    // Starts the page; the frame may still be built until the answer comes.
    void begin(int block, int page);
    // The awaited answer.
    Result onAnswer(const Reply &reply);
    // After a lost answer and its fence.
    Result afterLost();
    // Writes the same page again from its BeginPage.
    void again();

    int block() const { return target.block; }
    int page() const { return target.page; }
    // ProgramPage went out and awaits its answer.
    bool programming() const { return step == Step::Program; }
    // The page went out again after a lost answer since begin().
    bool restarted() const { return target.restarted; }

private:
    enum class Step { Begin, Pieces, Program };
    void sendPiece();

    CommandLink &link;
    const PageFrame &frame;
    struct Target
    {
        int block = 0;
        int page = 0;
        bool restarted = false;
    } target;
    Step step = Step::Begin;
    int piece = 0;
};
