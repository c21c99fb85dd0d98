#pragma once

#include "badblocklist.h"
#include "imagewriter.h"
#include "pagereader.h"

// Reads every written page back after the last one and compares it with
// what was sent. It runs only where the update has shown that data pages
// read back as written (DeviceTraits); elsewhere nothing can be checked and
// the owner says so. A page that reads back otherwise, twice, marks its
// block bad, and the image is written again from that block's image block on.
class Verifier
{
public:
    enum class Result { Busy, Done, BlockFailed };

    Verifier(CommandLink &link, EngineListener &listener, BadBlockList &list, ImageWriter &writer, PageFrame &frame);

    // Reads back from page `fromPage` of the image on.
    Result start(int fromPage);
    Result onAnswer(const Reply &reply);
    Result afterFence() { return onRead(reader.afterFence()); }

    int pagesVerified() const { return verified; }
    // After BlockFailed: the image block to write again, and the block it failed in.
    int failedImageBlock() const { return verified / ImageWriter::PagesPerBlock; }
    int failedBlock() const { return reader.block(); }

private:
    Result next();
    Result onRead(PageReader::Result result);

    EngineListener &listener;
    BadBlockList &list;
    ImageWriter &writer;
    PageReader reader;
    int verified = 0;
};
