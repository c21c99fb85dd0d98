#pragma once

#include "updateoutcome.h"

// The lines the update traces, each with at most one number. Whoever listens
// turns them into text; the engine holds no text of its own.
enum class TraceKind {
    ResetNand,
    ReadBbl,
    NoBblFound,
    FoundBbls,              // value: copies found
    ReadLastBbl,
    BblPageTorn,            // value: page of block 0
    BblAnswersDisagree,
    ReadDefectiveList,
    BblBlockDefect,         // value: block
    BblContains,            // value: blocks
    FactoryDefectsWas,      // value: blocks
    DefectListBlockDefect,  // value: block
    DefectListContains,     // value: blocks
    TooManyFactoryDefects,
    EraseBblBlock,
    EraseBlockOk,           // value: block
    EraseBlockFail,         // value: block
    WritingFirstBbl,
    WriteDataPage,
    WritePage,              // value: page
    WriteBblPage,           // value: page
    ProgramFail,
    BlockMarkedBad,         // value: block
    Finish,
    Retries,                // value: restarts of a block
    NotEnoughSpace,
    AnswerLost,             // value: the command whose answer did not come
    PageRestarted,          // value: page
    BlockRestarted,         // value: block
    PageReadBackWrong,      // value: page
    VerifyPages,
    VerifyFailed,           // value: block, now marked bad
    TooManyBadBlocks,       // value: bad blocks in all
    ReadBackWorks,          // the probe read a programmed data page back as sent
    ReadBackUnavailable,    // ... and did not: pages outside block 0 cannot be read back
    ListCopyFailed,         // value: page of block 0 whose copy did not take
    EndHeldForList,         // an ending waits until block 0 holds a list again
};

struct TraceLine
{
    TraceKind kind;
    int value = 0;

    bool operator==(const TraceLine &other) const { return kind == other.kind && value == other.value; }
};

// How an update ended, with what a message about it needs.
struct Ending
{
    UpdateOutcome outcome = UpdateOutcome::Success;
    int factoryDefects = 0;  // for FlashUnhealthy
};

// What the update reports while it runs; called from within start(),
// handleReply(), tick() and cancel().
class EngineListener
{
public:
    virtual ~EngineListener() = default;

    virtual void traced(const TraceLine &line) = 0;
    // The block or the page being worked on, as the NAND fields show them.
    virtual void blockShown(int block) = 0;
    virtual void pageShown(int page) = 0;
    // Data pages programmed so far out of those the image needs.
    virtual void progressChanged(int pagesDone, int pagesTotal) = 0;
    // Once per start().
    virtual void finished(const Ending &ending) = 0;
};
