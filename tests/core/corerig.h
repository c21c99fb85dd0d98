#pragma once

#include "simloop.h"
#include "updateengine.h"

#include <cstdint>
#include <vector>

// An image whose every page differs, so that a page written in the wrong place shows.
inline Bytes makeImage(std::size_t size)
{
    Bytes image(size);
    std::uint32_t x = 0xC0FFEEu;
    for (std::uint8_t &b : image)
        b = std::uint8_t((x = x * 1664525u + 1013904223u) >> 24);
    return image;
}

// The engine on a same-thread simulated device, nothing else: no Qt, no port.
// The test hands the wire over and ticks; nothing runs by itself.
struct CoreRig : CommandSink, EngineListener
{
    SimLoop loop;
    UpdateEngine engine{*this, *this};
    std::vector<UpdateOutcome> outcomes;

    CoreRig()
    {
        loop.refuseFrom = 200000;  // an engine that talks in circles ends, it does not hang
        loop.recordSent = false;
        loop.receiver = [this](const Bytes &message) {
            Reply reply = decodeReply(message.data(), int(message.size()));
            reply.sentBefore = loop.arrivalStamp();
            engine.handleReply(reply);
        };
    }

    bool send(const SysExMessage &message) override { return loop.send(message.data(), message.size()); }
    std::uint32_t sentCount() const override { return std::uint32_t(loop.sentCount()); }
    void traced(const TraceLine &) override {}
    void blockShown(int) override {}
    void pageShown(int) override {}
    void progressChanged(int, int) override {}
    void finished(const Ending &ending) override { outcomes.push_back(ending.outcome); }

    // Runs a whole update; false when it still runs after `maxTicks`.
    bool run(const Bytes &image, bool verify, int maxTicks)
    {
        engine.start(image.data(), image.size(), verify);
        loop.pump();
        for (int t = 0; engine.isRunning() && t < maxTicks; ++t) {
            loop.tick();
            engine.tick();
            loop.pump();
        }
        return !engine.isRunning();
    }
};
