// Replies from a device (or anything else on the port) as the updater takes
// them in: each message through takeReply with its buffer rules, then to an
// update engine in the middle of an update. Messages end at each 0xF7; a
// 0xFE byte on its own lets one tick of the reply time-out pass.

#include "devicelink.h"
#include "simloop.h"
#include "updateengine.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

constexpr std::uint8_t End = 0xF7;
constexpr std::uint8_t Tick = 0xFE;
constexpr int ImageBytes = 3 * 2048 + 17;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    // The loop only carries commands away; its device is never asked.
    static SimLoop loop;
    loop.responder = [](const QByteArray &) { return std::vector<QByteArray>(); };  // the input answers
    loop.recordSent = false;
    DeviceLink link(loop.makeService());
    link.openPorts(0, 0);
    UpdateEngine engine(link);
    engine.start(QByteArray(ImageBytes, char(0x5A)));

    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == Tick && i == start) {
            engine.tick();
            start = i + 1;
            continue;
        }
        if (data[i] != End && i + 1 != size)
            continue;
        const QByteArray message(reinterpret_cast<const char *>(data + start), qsizetype(i + 1 - start));
        start = i + 1;
        const ReplyCode code = link.takeReply(message);
        const int length = link.replyDataLength();
        if (length < 0 || length > DeviceLink::ReplyDataSize)
            std::abort();
        engine.handleReply(code);
        // The engine never aims at a block outside the flash.
        if (engine.currentBlock() < 0 || engine.currentBlock() > BadBlockList::NoBlock
            || engine.bblPage() < 0 || engine.bblPage() >= UpdateEngine::PagesPerBlock)
            std::abort();
    }
    return 0;
}
