#pragma once

#include "badblocklist.h"
#include "pagereader.h"
#include "pagewriter.h"
#include "restartbudget.h"

#include <cstdint>
#include <vector>

// What this device has shown it can do, as far as the running update found out.
struct DeviceTraits
{
    enum class ReadBack { Unknown, Works, Unavailable };
    // Whether data pages outside block 0 read back as they were written.
    ReadBack readBack = ReadBack::Unknown;
    // Cleared when a page written again after a lost answer read back wrong:
    // the device kept its page buffer over the repeated BeginPage.
    bool pageRestartTrusted = true;
};

// Writes the image, one 64-page image block per good block from block 1 up.
//
// Each block is erased, then written page by page (PageWriter). A failed erase
// or program marks the block bad, and the same image block is written again
// from its page 0 into the next good block; after a failed erase a fence goes
// first, so that a repeated failure report cannot pass for the next answer.
//
// What a lost answer costs, and what each path needs of the device:
// - EraseBlock: asked again behind the fence (the contract).
// - BeginPage or a piece: the page is written again from its BeginPage (the
//   contract: BeginPage starts a frame). Once a page written again read back
//   wrong, the device kept its buffer, and the block is restarted instead.
// - ProgramPage: the page may or may not be programmed, and must never be
//   programmed twice without an erase. Only where reading data pages back has
//   been shown to work is the page read back: as sent, it is programmed;
//   erased, it is written again; else the block is restarted. Elsewhere, and
//   for a page whose data is all 0xFF (which reads the same erased), the
//   block is erased and written again from its page 0.
// Reading data pages back is not in the contract, so it is probed: the first
// programmed page whose data is not all 0xFF is read back. As sent, it works;
// erased, other data or no answer, it does not, and nothing is ever restarted
// or marked bad on such a reading.
class ImageWriter
{
public:
    static constexpr int PagesPerBlock = 64;

    enum class Result { Busy, Done, NoSpace, Stalled };

    ImageWriter(CommandLink &link, EngineListener &listener, BadBlockList &list, PageFrame &frame,
                DeviceTraits &traits, RestartBudget &budget);

    void setImage(const std::uint8_t *data, std::size_t size);
    int pageCount() const { return pagesTotal; }
    // Writes from image block `imageBlock` on, into the good blocks after `after`.
    Result writeFrom(int imageBlock, int after);
    Result onAnswer(const Reply &reply);
    Result afterFence();

    int block() const { return current; }
    int page() const { return pageIndex; }
    int pagesDone() const { return done; }
    // Where each image block went.
    int blockOf(int imageBlock) const { return blockOfImage[std::size_t(imageBlock)]; }
    // Builds data page `page` of image block `imageBlock` into the frame;
    // true when it holds the image's last byte.
    bool buildFrame(int imageBlock, int page);

private:
    enum class Step { Erase, Write, Check };
    enum class Check { Probe, AfterRestart, ProgramUnknown };

    Result eraseNextGoodBlock();
    Result erase();
    Result beginPage();
    Result onWritten(PageWriter::Result result);
    Result onChecked(PageReader::Result result);
    Result pageProgrammed();
    Result nextPage();
    Result restartBlock();
    Result check(Check purpose);
    bool frameErasedData() const;
    void trace(TraceKind kind, int value = 0) { listener.traced({kind, value}); }

    CommandLink &link;
    EngineListener &listener;
    BadBlockList &list;
    PageFrame &frame;
    DeviceTraits &traits;
    RestartBudget &budget;
    PageWriter writer;
    PageReader reader;
    const std::uint8_t *image = nullptr;
    std::int64_t imageSize = 0;
    int pagesTotal = 0;
    std::vector<int> blockOfImage;
    Step step = Step::Erase;
    Check checking = Check::Probe;
    bool eraseAfterFence = false;
    bool imageComplete = false;
    int current = 0;
    int imgBlock = 0;
    int pageIndex = 0;
    int done = 0;
};
