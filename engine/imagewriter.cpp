#include "imagewriter.h"

#include <algorithm>
#include <utility>

namespace {

constexpr std::uint8_t ErasedByte = 0xFF;

} // namespace

ImageWriter::ImageWriter(CommandLink &link, EngineListener &listener, BadBlockList &list, PageFrame &frame,
                         DeviceTraits &traits, RestartBudget &budget)
    : link(link), listener(listener), list(list), frame(frame), traits(traits), budget(budget),
      writer(link, frame), reader(link, frame)
{
}

void ImageWriter::setImage(const std::uint8_t *data, std::size_t size)
{
    image = data;
    imageSize = static_cast<std::int64_t>(size);
    pagesTotal = static_cast<int>((size + PageFrame::DataSize - 1) / PageFrame::DataSize);
    blockOfImage.assign(std::size_t((pagesTotal + PagesPerBlock - 1) / PagesPerBlock), 0);
    done = 0;
}

bool ImageWriter::buildFrame(int imageBlock, int page)
{
    return buildDataFrame(frame, imageBlock, page, image, imageSize);
}

ImageWriter::Result ImageWriter::writeFrom(int imageBlock, int after)
{
    imgBlock = imageBlock;
    current = after;
    done = imageBlock * PagesPerBlock;
    return eraseNextGoodBlock();
}

ImageWriter::Result ImageWriter::eraseNextGoodBlock()
{
    current = list.nextGoodBlock(current);
    if (current == BadBlockList::NoBlock)
        return Result::NoSpace;
    return erase();
}

ImageWriter::Result ImageWriter::erase()
{
    step = Step::Erase;
    link.await(buildEraseBlock(static_cast<std::uint32_t>(current)));
    return Result::Busy;
}

ImageWriter::Result ImageWriter::beginPage()
{
    step = Step::Write;
    writer.begin(current, pageIndex);
    // Built while BeginPage is on its way.
    imageComplete = buildFrame(imgBlock, pageIndex);
    return Result::Busy;
}

ImageWriter::Result ImageWriter::onAnswer(const Reply &reply)
{
    switch (step) {
    case Step::Erase:
        if (reply.fail) {
            trace(TraceKind::EraseBlockFail, current);
            list.markBad(current);
            current = list.nextGoodBlock(current);
            if (current == BadBlockList::NoBlock)
                return Result::NoSpace;
            eraseAfterFence = true;
            link.fence();
            return Result::Busy;
        }
        pageIndex = 0;
        blockOfImage[std::size_t(imgBlock)] = current;
        beginPage();
        // Shown once the command is out: a slow log then overlaps the device's work.
        trace(TraceKind::EraseBlockOk, current);
        trace(TraceKind::WriteDataPage);
        listener.blockShown(current);
        listener.pageShown(pageIndex);
        return Result::Busy;
    case Step::Write:
        return onWritten(writer.onAnswer(reply));
    case Step::Check:
        return onChecked(reader.onAnswer(reply));
    }
    return Result::Busy;
}

ImageWriter::Result ImageWriter::afterFence()
{
    switch (step) {
    case Step::Erase:
        if (std::exchange(eraseAfterFence, false))
            return erase();
        link.repeat();  // erasing again changes nothing
        return Result::Busy;
    case Step::Write:
        if (writer.programming())
            return onWritten(PageWriter::Result::Unknown);
        if (!traits.pageRestartTrusted)
            return restartBlock();
        if (!budget.pageRestart())
            return Result::Stalled;
        trace(TraceKind::PageRestarted, pageIndex);
        return onWritten(writer.afterLost());
    case Step::Check:
        return onChecked(reader.afterFence());
    }
    return Result::Busy;
}

ImageWriter::Result ImageWriter::onWritten(PageWriter::Result result)
{
    switch (result) {
    case PageWriter::Result::Busy:
        return Result::Busy;
    case PageWriter::Result::Begun:
        trace(TraceKind::WritePage, pageIndex);
        listener.pageShown(pageIndex);
        return Result::Busy;
    case PageWriter::Result::Failed:
        trace(TraceKind::ProgramFail);
        trace(TraceKind::BlockMarkedBad, current);
        list.markBad(current);
        pageIndex = 0;
        return eraseNextGoodBlock();
    case PageWriter::Result::Unknown:
        if (traits.readBack == DeviceTraits::ReadBack::Works && !frameErasedData())
            return check(Check::ProgramUnknown);
        return restartBlock();
    case PageWriter::Result::Programmed:
        if (writer.restarted() && traits.readBack == DeviceTraits::ReadBack::Works)
            return check(Check::AfterRestart);
        return pageProgrammed();
    }
    return Result::Busy;
}

ImageWriter::Result ImageWriter::check(Check purpose)
{
    step = Step::Check;
    checking = purpose;
    reader.read(current, pageIndex, PageFrame::Chunks, purpose == Check::Probe);
    return Result::Busy;
}

ImageWriter::Result ImageWriter::onChecked(PageReader::Result result)
{
    if (result == PageReader::Result::Busy)
        return Result::Busy;
    const bool matches = result == PageReader::Result::Matches;
    switch (checking) {
    case Check::Probe:
        traits.readBack = matches ? DeviceTraits::ReadBack::Works : DeviceTraits::ReadBack::Unavailable;
        trace(matches ? TraceKind::ReadBackWorks : TraceKind::ReadBackUnavailable);
        return nextPage();
    case Check::AfterRestart:
        if (matches)
            return pageProgrammed();
        trace(TraceKind::PageReadBackWrong, pageIndex);
        traits.pageRestartTrusted = false;
        return restartBlock();
    case Check::ProgramUnknown:
        if (matches)
            return pageProgrammed();
        if (result == PageReader::Result::Erased && traits.pageRestartTrusted) {
            // ProgramPage never took: the page goes again, and is read back after.
            if (!budget.pageRestart())
                return Result::Stalled;
            trace(TraceKind::PageRestarted, pageIndex);
            step = Step::Write;
            writer.again();
            return Result::Busy;
        }
        trace(TraceKind::PageReadBackWrong, pageIndex);
        return restartBlock();
    }
    return Result::Busy;
}

ImageWriter::Result ImageWriter::pageProgrammed()
{
    done = imgBlock * PagesPerBlock + pageIndex + 1;
    budget.pageProgrammed();
    if (traits.readBack == DeviceTraits::ReadBack::Unknown && !frameErasedData())
        return check(Check::Probe);
    return nextPage();
}

ImageWriter::Result ImageWriter::nextPage()
{
    if (imageComplete)
        return Result::Done;
    if (++pageIndex < PagesPerBlock)
        return beginPage();
    budget.blockWritten();
    ++imgBlock;
    pageIndex = 0;
    return eraseNextGoodBlock();
}

ImageWriter::Result ImageWriter::restartBlock()
{
    if (!budget.blockRestart())
        return Result::Stalled;
    trace(TraceKind::BlockRestarted, current);
    pageIndex = 0;
    return erase();
}

bool ImageWriter::frameErasedData() const
{
    for (int k = 0; k < PageFrame::Chunks; ++k) {
        const auto *chunk = frame.bytes.data() + PageFrame::HeaderSize + k * PageFrame::ChunkStride;
        if (!std::all_of(chunk, chunk + PageFrame::ChunkSize, [](std::uint8_t b) { return b == ErasedByte; }))
            return false;
    }
    return true;
}
