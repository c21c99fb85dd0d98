#include "listreader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int ChunksPerPage = 8;
constexpr int LastPage = ListReader::PagesPerBlock - 1;
constexpr int Pieces = 4;           // 64-byte pieces of the copy's first chunk
constexpr int PieceBytes = 64;
constexpr int DefectParts = 2;
constexpr std::uint8_t ErasedByte = 0xFF;

} // namespace

ListReader::ListReader(CommandLink &link, EngineListener &listener, BadBlockList &list)
    : link(link), listener(listener), list(list),
      listTrace([this](const TraceLine &line) { this->listener.traced(line); })
{
}

void ListReader::start()
{
    scans = 0;
    scan();
}

void ListReader::scan()
{
    rescanDue = false;
    copyFound = false;
    used = 0;
    step = Step::Search;
    probePage(0);
}

void ListReader::probePage(int which)
{
    page = which;
    link.await(buildReadChunk(page * ChunksPerPage, 0));
}

ListReader::Result ListReader::onAnswer(const Reply &reply)
{
    switch (step) {
    case Step::Search:
    case Step::Boundary:
        return onPageProbed(reply);
    case Step::Copy:
        return onCopyPiece(reply);
    case Step::Defects:
        return onDefectPart(reply);
    }
    return Result::Busy;
}

ListReader::Result ListReader::afterFence()
{
    if (rescanDue) {
        scan();
        return Result::Busy;
    }
    link.repeat();
    return Result::Busy;
}

ListReader::Result ListReader::onPageProbed(const Reply &reply)
{
    // The search tells a copy from an empty page by its first data byte.
    const bool inUse = reply.data[0] != ErasedByte;
    if (step == Step::Boundary) {
        if (inUse)
            return distrust();
        if (copyFound)
            return loadCopy();
        readDefects();
        return Result::Busy;
    }
    if (inUse && page < LastPage) {
        probePage(page + 1);
        return Result::Busy;
    }
    used = inUse ? page + 1 : page;
    if (used == 0) {
        trace(TraceKind::NoBblFound);
        return probeBoundary();
    }
    trace(TraceKind::FoundBbls, used);
    trace(TraceKind::ReadLastBbl);
    page = used - 1;
    readCopy();
    return Result::Busy;
}

void ListReader::readCopy()
{
    step = Step::Copy;
    pass = 0;
    piece = 0;
    readPiece();
}

void ListReader::readPiece()
{
    link.await(buildReadChunk(page * ChunksPerPage, static_cast<std::uint8_t>(piece)));
}

ListReader::Result ListReader::onCopyPiece(const Reply &reply)
{
    std::memcpy(readBack[std::size_t(pass)].data() + PieceBytes * piece, reply.data.data(), PieceBytes);
    if (++piece < Pieces) {
        readPiece();
        return Result::Busy;
    }
    if (pass == 0) {
        pass = 1;
        piece = 0;
        readPiece();
        return Result::Busy;
    }
    // The search saw this page in use: reading it empty, or two reads that
    // differ, mean answers went astray.
    if (readBack[0] != readBack[1] || readBack[1][0] == ErasedByte)
        return distrust();
    if (!BadBlockList::intactCopy(readBack[1].data())) {
        trace(TraceKind::BblPageTorn, page);
        if (page == 0) {
            return probeBoundary();  // no whole copy anywhere: as on an unused flash
        }
        --page;
        readCopy();
        return Result::Busy;
    }
    copyFound = true;
    return probeBoundary();
}

ListReader::Result ListReader::probeBoundary()
{
    if (used >= PagesPerBlock) {
        // No page after the newest copy to probe.
        if (copyFound)
            return loadCopy();
        readDefects();
        return Result::Busy;
    }
    step = Step::Boundary;
    link.await(buildReadChunk(used * ChunksPerPage, 0));
    return Result::Busy;
}

ListReader::Result ListReader::loadCopy()
{
    list.loadBblCopy(readBack[1].data(), listTrace);
    list.setChanged(false);
    return Result::CopyLoaded;
}

void ListReader::readDefects()
{
    trace(TraceKind::ReadDefectiveList);
    step = Step::Defects;
    piece = 0;
    link.await(buildReadDefectList(0));
}

ListReader::Result ListReader::onDefectPart(const Reply &reply)
{
    // Parts 0 and 1, then both again.
    const int which = piece / DefectParts;
    const int part = piece % DefectParts;
    std::memcpy(readBack[std::size_t(which)].data() + PieceBytes * part, reply.data.data(), PieceBytes);
    if (++piece < 2 * DefectParts) {
        link.await(buildReadDefectList(static_cast<std::uint8_t>(piece % DefectParts)));
        return Result::Busy;
    }
    if (!std::equal(readBack[0].begin(), readBack[0].begin() + DefectParts * PieceBytes, readBack[1].begin()))
        return distrust();
    for (int p = 0; p < DefectParts; ++p)
        list.loadDefectPart(p, readBack[0].data() + PieceBytes * p);
    return Result::DefectsLoaded;
}

ListReader::Result ListReader::distrust()
{
    if (++scans >= MaxScans)
        return Result::Unreadable;
    trace(TraceKind::BblAnswersDisagree);
    rescanDue = true;
    link.fence();
    return Result::Busy;
}
