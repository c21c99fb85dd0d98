#include "verifier.h"

Verifier::Verifier(CommandLink &link, EngineListener &listener, BadBlockList &list, ImageWriter &writer,
                   PageFrame &frame)
    : listener(listener), list(list), writer(writer), reader(link, frame)
{
}

Verifier::Result Verifier::start(int fromPage)
{
    verified = fromPage;
    return next();
}

Verifier::Result Verifier::next()
{
    if (verified >= writer.pageCount())
        return Result::Done;
    const int imageBlock = verified / ImageWriter::PagesPerBlock;
    const int page = verified % ImageWriter::PagesPerBlock;
    const int block = writer.blockOf(imageBlock);
    if (page == 0)
        listener.blockShown(block);
    listener.pageShown(page);
    writer.buildFrame(imageBlock, page);
    reader.read(block, page, PageFrame::Chunks);
    return Result::Busy;
}

Verifier::Result Verifier::onAnswer(const Reply &reply)
{
    return onRead(reader.onAnswer(reply));
}

Verifier::Result Verifier::onRead(PageReader::Result result)
{
    switch (result) {
    case PageReader::Result::Busy:
        return Result::Busy;
    case PageReader::Result::Matches:
        ++verified;
        return next();
    case PageReader::Result::Erased:
    case PageReader::Result::Differs:
    case PageReader::Result::NoAnswer:
        break;
    }
    // The block lost what it was given.
    listener.traced({TraceKind::VerifyFailed, reader.block()});
    list.markBad(reader.block());
    verified = failedImageBlock() * ImageWriter::PagesPerBlock;
    return Result::BlockFailed;
}
