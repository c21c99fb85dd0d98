#include "pagewriter.h"

void PageWriter::begin(int block, int page)
{
    target = {block, page, false};
    step = Step::Begin;
    link.await(buildBeginPage(static_cast<std::uint32_t>(block), static_cast<std::uint8_t>(page)));
}

PageWriter::Result PageWriter::onAnswer(const Reply &reply)
{
    switch (step) {
    case Step::Begin:
        step = Step::Pieces;
        piece = 0;
        sendPiece();
        return Result::Begun;
    case Step::Pieces:
        // The piece status byte is not acted on: the contract gives it no meaning.
        if (++piece < PageFrame::Pieces) {
            sendPiece();
            return Result::Busy;
        }
        step = Step::Program;
        link.await(buildProgramPage());
        return Result::Busy;
    case Step::Program:
        return reply.fail ? Result::Failed : Result::Programmed;
    }
    return Result::Busy;
}

PageWriter::Result PageWriter::afterLost()
{
    if (step == Step::Program)
        return Result::Unknown;
    again();
    return Result::Busy;
}

void PageWriter::again()
{
    begin(target.block, target.page);
    target.restarted = true;
}

void PageWriter::sendPiece()
{
    link.await(buildPageData(frame.bytes.data() + PageFrame::pieceOffset(piece), PageFrame::pieceLength(piece)));
}
