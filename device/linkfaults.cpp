#include "linkfaults.h"

#include "sysex.h"

#include <algorithm>

namespace {

constexpr std::uint8_t LowSeven = 0x7F;
constexpr std::uint32_t CommandStream = 0x9E3779B9u;  // sets the commands' sequence apart from the replies'
// Another maker's identity reply (non-commercial maker id), another device of
// ours, a note-on and an active-sensing byte.
const std::array<Bytes, 4> ForeignMessages{
    Bytes{0xf0, 0x7e, 0x7f, 0x06, 0x02, 0x00, 0x7d, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0xf7},
    Bytes{0xf0, 0x00, 0x11, 0x22, 0x0b, 0x00, 0x00, 0x00, 0x00, 0x20, 0x01, 0x12, 0x4f, 0x7f, 0x00, 0xf7},
    Bytes{0x90, 0x3c, 0x40},
    Bytes{0xfe},
};
// An empty SysEx, a bare head, and a head whose type byte is missing.
const std::array<Bytes, 3> ShortMessages{
    Bytes{0xf0, 0xf7},
    Bytes{0xf0, 0x00, 0x11, 0x22, 0x0a, 0xf7},
    Bytes{0xf0, 0x00, 0x11, 0x22, 0x0a, 0x00, 0x00, 0x00, 0x00, 0xf7},
};

} // namespace

LinkFaults::LinkFaults(const Rates &rates, std::uint32_t seed)
{
    setRates(rates, seed);
}

void LinkFaults::setRates(const Rates &rates, std::uint32_t seed)
{
    odds = rates;
    rng.seed(seed);
    commandRng.seed(seed ^ CommandStream);
}

void LinkFaults::inject(Fault fault, int type, int nth)
{
    oneShots.push_back({fault, type, nth});
}

double LinkFaults::unit(std::mt19937 &source)
{
    constexpr double scale = 1.0 / 4294967296.0;
    return double(source()) * scale;  // mt19937 output is fixed by the standard; distributions are not
}

int LinkFaults::below(int bound)
{
    return bound > 0 ? int(rng() % std::uint32_t(bound)) : 0;
}

void LinkFaults::takeOneShots(bool commands, std::uint8_t type, int ofType, int nth, FaultSet &hit)
{
    for (auto it = oneShots.begin(); it != oneShots.end();) {
        const bool match = (it->fault == Fault::LoseCommand) == commands
            && (it->type == AnyType ? it->nth == nth : (it->type == type && it->nth == ofType));
        if (match) {
            hit[std::size_t(it->fault)] = true;
            it = oneShots.erase(it);
        } else {
            ++it;
        }
    }
}

LinkFaults::FaultSet LinkFaults::faultsFor(std::uint8_t type)
{
    FaultSet hit{};
    const int ofType = ++seenOfType[std::size_t(type % TypeCount)];
    takeOneShots(false, type, ofType, ++seen, hit);
    // One draw per fault for every message, hit or not, keeps the random
    // sequence independent of which faults struck before.
    const std::array<double, ReplyFaults> chance{odds.lose, odds.late, odds.duplicate, odds.corrupt,
                                                 odds.cutShort, odds.foreign, odds.shortMessage, odds.vanish};
    for (int f = 0; f < ReplyFaults; ++f) {
        if (unit(rng) < chance[std::size_t(f)])
            hit[std::size_t(f)] = true;
    }
    return hit;
}

bool LinkFaults::struck(const FaultSet &hit, Fault fault, std::uint8_t type)
{
    if (!hit[std::size_t(fault)])
        return false;
    ++applied[std::size_t(fault)];
    if (onFault)
        onFault(fault, type);
    return true;
}

bool LinkFaults::losesCommand(const Bytes &command)
{
    const auto type = command.size() > std::size_t(SysEx::CommandOffset) ? command[SysEx::CommandOffset] : std::uint8_t(0);
    FaultSet hit{};
    takeOneShots(true, type, ++commandsOfType[std::size_t(type % TypeCount)], ++commandsSeen, hit);
    if (unit(commandRng) < odds.loseCommand)
        hit[std::size_t(Fault::LoseCommand)] = true;
    return struck(hit, Fault::LoseCommand, type);
}

std::vector<WireMessage> LinkFaults::apply(const std::vector<Bytes> &replies)
{
    std::vector<WireMessage> wire;
    for (const Bytes &reply : replies) {
        if (gone)
            break;
        const auto type = reply.size() > std::size_t(SysEx::CommandOffset) ? reply[SysEx::CommandOffset] : std::uint8_t(0);
        const FaultSet hit = faultsFor(type);
        const auto struck = [&](Fault f) { return this->struck(hit, f, type); };
        if (struck(Fault::Vanish)) {
            gone = true;
            break;
        }
        if (struck(Fault::Foreign))
            wire.push_back({foreignMessage(), false});
        if (struck(Fault::Short))
            wire.push_back({shortMessage(), false});
        if (struck(Fault::Lose))
            continue;
        WireMessage message{reply, false};
        if (struck(Fault::Corrupt))
            message.bytes = corrupted(message.bytes);
        if (struck(Fault::CutShort))
            message.bytes = cutShort(message.bytes);
        message.late = struck(Fault::Late);
        const bool twice = struck(Fault::Duplicate);
        wire.push_back(message);
        if (twice)
            wire.push_back(message);
    }
    return wire;
}

const char *LinkFaults::name(Fault fault)
{
    switch (fault) {
    case Fault::Lose: return "lost";
    case Fault::Late: return "late";
    case Fault::Duplicate: return "duplicated";
    case Fault::Corrupt: return "corrupted";
    case Fault::CutShort: return "cut short";
    case Fault::Foreign: return "foreign message first";
    case Fault::Short: return "stub message first";
    case Fault::Vanish: return "port gone";
    case Fault::LoseCommand: return "command lost";
    }
    return "";
}

Bytes LinkFaults::corrupted(Bytes message)
{
    // Start and end bytes stay, so the carrier still delivers one message.
    if (message.size() < 3)
        return message;
    const int at = 1 + below(int(message.size()) - 2);
    const auto flip = static_cast<std::uint8_t>(1 + below(LowSeven));
    message[std::size_t(at)] = static_cast<std::uint8_t>((message[std::size_t(at)] ^ flip) & LowSeven);
    return message;
}

Bytes LinkFaults::cutShort(const Bytes &message)
{
    if (message.size() < 3)
        return message;
    Bytes stub(message.begin(), message.begin() + 1 + below(int(message.size()) - 2));
    stub.push_back(SysEx::End);
    return stub;
}

const Bytes &LinkFaults::foreignMessage()
{
    return ForeignMessages[std::size_t(below(int(ForeignMessages.size())))];
}

const Bytes &LinkFaults::shortMessage()
{
    return ShortMessages[std::size_t(below(int(ShortMessages.size())))];
}
