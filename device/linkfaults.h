#pragma once

#include "devicebytes.h"

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <vector>

// One message on its way from the device to the updater.
struct WireMessage
{
    Bytes bytes;
    // Held back past the updater's reply time-out: the carrier decides how
    // (a real delay on a MIDI thread, or a number of ticks in a test).
    bool late = false;
};

// What the cable and a flaky device do to the messages: a seeded random plan
// with a probability per fault, plus one-shot faults on the nth message of a
// type. Deterministic for a given seed and sequence of messages, so a failing
// run of a fault campaign can be repeated from its seed.
class LinkFaults
{
public:
    enum class Fault {
        Lose,         // the message never arrives
        Late,         // it arrives after the time-out
        Duplicate,    // it arrives twice
        Corrupt,      // one byte between F0 and F7 changes (stays 7-bit)
        CutShort,     // only its beginning arrives, closed by F7
        Foreign,      // another device's message (or a channel message) comes first
        Short,        // a stub of a message comes first
        Vanish,       // the port goes away: this and every later message are lost
        LoseCommand,  // a command never reaches the device
    };
    static constexpr int FaultCount = int(Fault::LoseCommand) + 1;
    static constexpr int AnyType = -1;

    struct Rates
    {
        double lose = 0;
        double late = 0;
        double duplicate = 0;
        double corrupt = 0;
        double cutShort = 0;
        double foreign = 0;
        double shortMessage = 0;
        double vanish = 0;
        double loseCommand = 0;
    };

    LinkFaults() = default;
    LinkFaults(const Rates &rates, std::uint32_t seed);

    void setRates(const Rates &rates, std::uint32_t seed);
    const Rates &rates() const { return odds; }
    // The `nth` message (counted from 1) whose type byte is `type` (or any
    // message, AnyType) meets `fault`, once. LoseCommand counts commands,
    // every other fault replies.
    void inject(Fault fault, int type, int nth);

    // The replies of one command as they go on the wire.
    std::vector<WireMessage> apply(const std::vector<Bytes> &replies);
    // Whether a command on its way to the device is lost. Drawn from a
    // sequence of its own, so that the replies meet the faults the seed drew
    // for them whether commands are lost or not.
    bool losesCommand(const Bytes &command);

    // Told of every fault as it strikes, with the type byte of the message it hit.
    std::function<void(Fault fault, std::uint8_t type)> onFault;
    static const char *name(Fault fault);

    bool vanished() const { return gone; }
    int count(Fault fault) const { return applied[std::size_t(fault)]; }
    int messagesSeen() const { return seen; }

private:
    struct OneShot
    {
        Fault fault;
        int type;
        int nth;
    };
    using FaultSet = std::array<bool, FaultCount>;
    static constexpr int TypeCount = 128;  // type bytes are 7-bit
    static constexpr int ReplyFaults = int(Fault::Vanish) + 1;

    FaultSet faultsFor(std::uint8_t type);
    // Takes the one-shots that match; `commands` picks LoseCommand's or the others'.
    void takeOneShots(bool commands, std::uint8_t type, int ofType, int nth, FaultSet &hit);
    bool struck(const FaultSet &hit, Fault fault, std::uint8_t type);
    static double unit(std::mt19937 &source);
    int below(int bound);
    Bytes corrupted(Bytes message);
    Bytes cutShort(const Bytes &message);
    const Bytes &foreignMessage();
    const Bytes &shortMessage();

    Rates odds;
    std::mt19937 rng;
    std::mt19937 commandRng;
    std::vector<OneShot> oneShots;
    std::array<int, TypeCount> seenOfType{};
    std::array<int, TypeCount> commandsOfType{};
    std::array<int, FaultCount> applied{};
    int seen = 0;
    int commandsSeen = 0;
    bool gone = false;
};
