// Replies from a device (or anything else on the port) as the updater takes
// them in: each message decoded with the receive buffer's rules, then handed
// to an update engine in the middle of an update. Messages end at each 0xF7;
// a 0xFE byte on its own lets one tick of the reply time-out pass.

#include "reply.h"
#include "updateengine.h"

#include <cstdlib>
#include <vector>

namespace {

constexpr std::uint8_t End = 0xF7;
constexpr std::uint8_t Tick = 0xFE;
constexpr int ImageBytes = 3 * 2048 + 17;

// The commands go nowhere: the input answers them.
class NoWire : public CommandSink
{
public:
    bool send(const SysExMessage &) override { return true; }
};

class Endings : public EngineListener
{
public:
    void traced(const TraceLine &) override {}
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int, int) override {}
    void finished(const Ending &) override { ++count; }

    int count = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static const std::vector<std::uint8_t> image(ImageBytes, 0x5A);
    NoWire wire;
    Endings endings;
    UpdateEngine engine(wire, endings);
    engine.start(image.data(), image.size());

    std::size_t start = 0;
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == Tick && i == start) {
            engine.tick();
            start = i + 1;
            continue;
        }
        if (data[i] != End && i + 1 != size)
            continue;
        const Reply reply = decodeReply(data + start, int(i + 1 - start));
        start = i + 1;
        if (reply.dataLength < 0 || reply.dataLength > Reply::DataCapacity)
            std::abort();
        engine.handleReply(reply);
        // The engine never aims at a block outside the flash, and ends once.
        if (engine.currentBlock() < 0 || engine.currentBlock() > BadBlockList::NoBlock
            || engine.bblPage() < 0 || engine.bblPage() >= UpdateEngine::PagesPerBlock)
            std::abort();
        if (endings.count != (engine.isRunning() ? 0 : 1))
            std::abort();
    }
    return 0;
}
