#include "discoveryrounds.h"

#include "reply.h"
#include "sysex.h"

#include <algorithm>

namespace {

int bitsFor(int outputs)
{
    int bits = 0;
    while ((1 << bits) < outputs)
        ++bits;
    return bits;
}

} // namespace

int DiscoveryRounds::durationTicks(int outputs)
{
    return RoundTicks * (1 + bitsFor(std::clamp(outputs, 0, MaxPorts)));
}

void DiscoveryRounds::start(int inputCount, int outputCount)
{
    heard.clear();
    devices.clear();
    inputs = std::clamp(inputCount, 0, MaxPorts);
    outputs = std::clamp(outputCount, 0, MaxPorts);
    round = 0;
    roundTick = 0;
    asking = false;
    running = true;
    if (inputs == 0 || outputs == 0) {
        finish();
        return;
    }
    rounds = 1 + bitsFor(outputs);
    askRound();
}

void DiscoveryRounds::cancel()
{
    running = false;
    asking = false;
}

void DiscoveryRounds::askRound()
{
    asking = true;
    asked = 0;
}

int DiscoveryRounds::nextAsk()
{
    while (asking && asked < outputs) {
        const int out = asked++;
        if (round == 0 || (out >> (round - 1)) & 1)
            return out;
    }
    asking = false;
    return -1;
}

void DiscoveryRounds::takeMessage(int input, const std::uint8_t *message, std::size_t length)
{
    if (!running || input < 0 || input >= inputs)
        return;
    const Reply reply = decodeReply(message, int(std::min<std::size_t>(length, SysEx::MaxReplyLength)));
    if (reply.code != ReplyIdentify)
        return;
    auto it = std::find_if(heard.begin(), heard.end(), [&](const Heard &h) {
        return h.input == input && h.serial == reply.serialNumber;
    });
    if (it == heard.end())
        it = heard.insert(heard.end(), Heard{input, reply.serialNumber, reply.firmwareVersion, 0});
    it->rounds |= 1u << round;
}

bool DiscoveryRounds::tick()
{
    if (!running)
        return false;
    if (++roundTick < RoundTicks) {
        if (roundTick % AskAgainTicks == 0 && roundTick / AskAgainTicks < RoundAsks)
            askRound();
        return true;
    }
    roundTick = 0;
    if (++round < rounds) {
        askRound();
        return true;
    }
    finish();
    return false;
}

void DiscoveryRounds::finish()
{
    running = false;
    asking = false;
    for (const Heard &h : heard) {
        // Only a device that answered everyone is sure to have been asked at all.
        if (!(h.rounds & 1u))
            continue;
        const int out = int(h.rounds >> 1);
        if (out >= outputs)
            continue;
        devices.push_back(FoundQel{h.serial, formatSerial(h.serial), h.version, h.input, out});
    }
    std::sort(devices.begin(), devices.end(), [](const FoundQel &a, const FoundQel &b) {
        return a.serialNumber < b.serialNumber || (a.serialNumber == b.serialNumber && a.input < b.input);
    });
}
