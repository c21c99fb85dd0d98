#include "listwriter.h"

namespace {

constexpr int ListBlock = 0;

} // namespace

ListWriter::ListWriter(CommandLink &link, EngineListener &listener, const BadBlockList &list, PageFrame &frame)
    : link(link), listener(listener), list(list), frame(frame), writer(link, frame), reader(link, frame)
{
}

void ListWriter::store(int freePage)
{
    buildBblFrame(frame, list.data(), BadBlockList::BlockCount, list.factoryDefects());
    if (freePage < PagesPerBlock) {
        write(freePage);
        return;
    }
    listener.blockShown(ListBlock);
    trace(TraceKind::EraseBblBlock);
    step = Step::Erase;
    holding = true;
    link.await(buildEraseBlock(ListBlock));
}

void ListWriter::write(int page)
{
    step = Step::Write;
    programAnswerLost = false;
    programFailed = false;
    writer.begin(ListBlock, page);
}

ListWriter::Result ListWriter::onAnswer(const Reply &reply)
{
    switch (step) {
    case Step::Erase:
        trace(TraceKind::EraseBlockOk, ListBlock);
        trace(TraceKind::WritingFirstBbl);
        tries = 0;
        write(0);
        return Result::Busy;
    case Step::Write:
        return onWritten(writer.onAnswer(reply));
    case Step::Check:
        return onChecked(reader.onAnswer(reply));
    }
    return Result::Busy;
}

ListWriter::Result ListWriter::afterFence()
{
    switch (step) {
    case Step::Erase:
        link.repeat();  // erasing again changes nothing
        return Result::Busy;
    case Step::Write:
        if (++tries >= (holding ? CommandLink::HoldFactor * MaxTries : MaxTries))
            return Result::Failed;
        return onWritten(writer.afterLost());
    case Step::Check:
        return onChecked(reader.afterFence());
    }
    return Result::Busy;
}

ListWriter::Result ListWriter::onWritten(PageWriter::Result result)
{
    switch (result) {
    case PageWriter::Result::Busy:
        return Result::Busy;
    case PageWriter::Result::Begun:
        trace(TraceKind::WriteBblPage, writer.page());
        listener.pageShown(writer.page());
        return Result::Busy;
    case PageWriter::Result::Failed:
        programFailed = true;
        break;
    case PageWriter::Result::Unknown:
        programAnswerLost = true;
        break;
    case PageWriter::Result::Programmed:
        break;
    }
    // Only the first chunk of a copy is ever read.
    step = Step::Check;
    reader.read(ListBlock, writer.page(), 1);
    return Result::Busy;
}

ListWriter::Result ListWriter::onChecked(PageReader::Result result)
{
    switch (result) {
    case PageReader::Result::Busy:
        return Result::Busy;
    case PageReader::Result::Matches:
        // A failure report garbled on the wire, or a copy that took after all.
        return stored();
    case PageReader::Result::Erased:
        if (programAnswerLost && !programFailed) {
            write(writer.page());  // never programmed: the same page takes it
            return Result::Busy;
        }
        trace(TraceKind::ListCopyFailed, writer.page());
        return Result::Failed;
    case PageReader::Result::Differs:
    case PageReader::Result::NoAnswer:
        return nextPage();
    }
    return Result::Busy;
}

ListWriter::Result ListWriter::nextPage()
{
    trace(TraceKind::ListCopyFailed, writer.page());
    if (writer.page() + 1 >= PagesPerBlock)
        return Result::Failed;
    write(writer.page() + 1);
    return Result::Busy;
}

ListWriter::Result ListWriter::stored()
{
    holding = false;
    return Result::Stored;
}
