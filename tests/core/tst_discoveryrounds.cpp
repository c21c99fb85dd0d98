// The discovery rounds on their own: Qels of the device model wired to
// output and input indexes, the test carrying each Identify to the Qel
// behind its output and each answer to the Qel's input, ticks counted.

#include "discoveryrounds.h"
#include "reply.h"
#include "simdevice.h"
#include "sysex.h"

#include <doctest/doctest.h>

#include <functional>
#include <memory>
#include <set>
#include <utility>
#include <vector>

namespace {

struct Wire
{
    int output;
    int input;
    std::uint32_t serial;
};

using Pair = std::pair<int, int>;  // input, output

// One search over a test's wiring. Asks go out in bursts, one after start()
// and one after each tick that has any: burst b is ask b % RoundAsks of round
// b / RoundAsks, since every round has an output to ask.
struct Search
{
    Search(int ins, int outs, std::vector<Wire> wired = {}) : inputs(ins), outputs(outs), wires(std::move(wired))
    {
    }
    int inputs;
    int outputs;
    std::vector<Wire> wires;
    // Answers of this Qel (its index in wires) to this burst are lost.
    std::function<bool(std::size_t qel, int burst)> loses;
    // Sent on every input with every burst: another maker's SysEx, a note,
    // an answer of another kind from a Qel.
    bool noise = false;

    DiscoveryRounds rounds;
    std::vector<std::unique_ptr<SimDevice>> qels;
    struct Burst
    {
        int tick;
        std::set<int> outputs;
    };
    std::vector<Burst> bursts;
    int ticks = 0;

    void run()
    {
        qels.clear();
        for (const Wire &wire : wires) {
            auto qel = std::make_unique<SimDevice>();
            SimDevice::Identity identity;
            identity.serialNumber = wire.serial;
            identity.firmwareVersion = 0x0801 + ((wire.serial % 7) << 8);
            qel->setIdentity(identity);
            qels.push_back(std::move(qel));
        }
        bursts.clear();
        ticks = 0;
        rounds.start(inputs, outputs);
        ask();
        while (rounds.tick() && ticks < 1000) {
            ++ticks;
            ask();
        }
        ++ticks;  // the last one, which ended the search
    }

    void ask()
    {
        Burst burst{ticks, {}};
        const int index = int(bursts.size());
        for (int out = rounds.nextAsk(); out >= 0; out = rounds.nextAsk()) {
            burst.outputs.insert(out);
            if (noise)
                hearNoise();
            const SysExMessage identify = buildIdentify();
            for (std::size_t k = 0; k < wires.size(); ++k) {
                if (wires[k].output != out || (loses && loses(k, index)))
                    continue;
                for (const Bytes &answer : qels[k]->handle(identify.data(), identify.size()))
                    rounds.takeMessage(wires[k].input, answer.data(), answer.size());
            }
        }
        if (!burst.outputs.empty())
            bursts.push_back(burst);
    }

    void hearNoise()
    {
        const Bytes foreign{0xF0, 0x00, 0x11, 0x23, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x20, 0x01, 0xF7};
        const Bytes note{0x90, 0x40, 0x7F};
        const SysExMessage erase = buildEraseBlock(3);
        for (int in = 0; in < inputs; ++in) {
            rounds.takeMessage(in, foreign.data(), foreign.size());
            rounds.takeMessage(in, note.data(), note.size());
            for (std::size_t k = 0; k < qels.size(); ++k)
                for (const Bytes &answer : qels[k]->handle(erase.data(), erase.size()))
                    rounds.takeMessage(in, answer.data(), answer.size());
        }
    }

    // Where each found Qel sits, in the order reported; the serial and
    // firmware checked against the wiring.
    std::vector<Pair> found() const
    {
        std::vector<Pair> pairs;
        for (const FoundQel &f : rounds.found()) {
            pairs.emplace_back(f.input, f.output);
            CHECK(f.serialText == formatSerial(f.serialNumber));
            bool wired = false;
            for (std::size_t k = 0; k < wires.size(); ++k)
                if (wires[k].serial == f.serialNumber) {
                    wired = true;
                    CHECK(f.firmwareVersion == qels[k]->identity().firmwareVersion);
                }
            CHECK(wired);
        }
        return pairs;
    }
};

} // namespace

TEST_CASE("the rounds find every Qel at its pair, sorted by serial number")
{
    struct Case
    {
        const char *name;
        int inputs;
        int outputs;
        std::vector<Wire> wires;
        std::vector<Pair> expected;
    };
    const std::vector<Case> cases{
        {"one pair", 1, 1, {{0, 0, 7}}, {{0, 0}}},
        {"a pair swapped", 2, 2, {{1, 0, 7}}, {{0, 1}}},
        {"silent ports", 3, 3, {}, {}},
        {"three Qels on three pairs", 5, 6, {{5, 0, 90000001}, {0, 4, 30000002}, {3, 3, 60000003}},
         {{4, 0}, {3, 3}, {0, 5}}},
        {"two Qels heard on one input", 2, 4, {{2, 1, 50}, {1, 1, 40}}, {{1, 1}, {1, 2}}},
        {"one Qel heard on two inputs", 3, 3, {{2, 0, 50}, {2, 2, 50}}, {{0, 2}, {2, 2}}},
        {"many ports", 20, 20, {{13, 5, 7}, {6, 19, 8}}, {{5, 13}, {19, 6}}},
        {"more inputs than outputs", 9, 2, {{1, 8, 7}}, {{8, 1}}},
    };
    for (const Case &c : cases) {
        for (const bool noise : {false, true}) {
            CAPTURE(c.name);
            CAPTURE(noise);
            Search search(c.inputs, c.outputs, c.wires);
            search.noise = noise;
            search.run();
            CHECK(search.found() == c.expected);
            CHECK(search.ticks == DiscoveryRounds::durationTicks(c.outputs));
            CHECK_FALSE(search.rounds.isRunning());
            // A second search starts afresh.
            search.run();
            CHECK(search.found() == c.expected);
        }
    }
}

TEST_CASE("every round asks its outputs three times, then listens")
{
    for (const int outputs : {1, 2, 3, 5, 8, 17, 32}) {
        CAPTURE(outputs);
        Search search(1, outputs);
        search.run();
        int bits = 0;
        while ((1 << bits) < outputs)
            ++bits;
        REQUIRE(search.bursts.size() == std::size_t(DiscoveryRounds::RoundAsks * (1 + bits)));
        for (std::size_t b = 0; b < search.bursts.size(); ++b) {
            const int round = int(b) / DiscoveryRounds::RoundAsks;
            const int ask = int(b) % DiscoveryRounds::RoundAsks;
            CAPTURE(round);
            CAPTURE(ask);
            std::set<int> expected;
            for (int out = 0; out < outputs; ++out)
                if (round == 0 || (out >> (round - 1)) & 1)
                    expected.insert(out);
            CHECK(search.bursts[b].outputs == expected);
            CHECK(search.bursts[b].tick == round * DiscoveryRounds::RoundTicks + ask * DiscoveryRounds::AskAgainTicks);
        }
        // Answers to the last ask have the quiet time before the search ends.
        CHECK(search.ticks - search.bursts.back().tick >= DiscoveryRounds::QuietTicks);
        // Short enough to run on every start of the window.
        CHECK(search.ticks * 10 < 1500);
    }
}

TEST_CASE("lost answers: one ask of a round is enough")
{
    const std::vector<Wire> wires{{3, 1, 7}, {2, 2, 8}};
    const std::vector<Pair> both{{1, 3}, {2, 2}};
    const int rounds = 3;  // four outputs: round 0 and two bits
    SUBCASE("any one answer of the first Qel lost")
    {
        for (int lost = 0; lost < rounds * DiscoveryRounds::RoundAsks; ++lost) {
            CAPTURE(lost);
            Search search(4, 4, wires);
            search.loses = [lost](std::size_t qel, int burst) { return qel == 0 && burst == lost; };
            search.run();
            CHECK(search.found() == both);
        }
    }
    SUBCASE("all but the last ask of every round lost, for both")
    {
        Search search(4, 4, wires);
        search.loses = [](std::size_t, int burst) { return burst % DiscoveryRounds::RoundAsks != 2; };
        search.run();
        CHECK(search.found() == both);
    }
    SUBCASE("every answer of round 0 lost: the Qel is not named")
    {
        // Heard in rounds 1 and 2 alone, it cannot be told from a stray answer.
        Search search(4, 4, wires);
        search.loses = [](std::size_t qel, int burst) { return qel == 0 && burst < DiscoveryRounds::RoundAsks; };
        search.run();
        CHECK(search.found() == std::vector<Pair>{{2, 2}});
    }
}

TEST_CASE("answers that do not spell an output are no Qel")
{
    SUBCASE("an identity heard in a later round alone")
    {
        DiscoveryRounds rounds;
        rounds.start(2, 2);
        while (rounds.nextAsk() >= 0) {
        }
        for (int t = 0; t < DiscoveryRounds::RoundTicks; ++t)
            REQUIRE(rounds.tick());
        SimDevice stray;
        const SysExMessage identify = buildIdentify();
        for (const Bytes &answer : stray.handle(identify.data(), identify.size()))
            rounds.takeMessage(0, answer.data(), answer.size());
        while (rounds.tick()) {
        }
        CHECK(rounds.found().empty());
    }
    SUBCASE("one Qel behind two outputs spells an output beyond the last")
    {
        // Outputs 1 and 2 both reach it: its answers spell 3, and there are three.
        Search search(3, 3, {{1, 0, 7}, {2, 0, 7}, {0, 2, 9}});
        search.run();
        CHECK(search.found() == std::vector<Pair>{{2, 0}});
    }
}

TEST_CASE("ports beyond 32 in a direction are neither asked nor heard")
{
    Search search(40, 40, {{31, 2, 7}, {35, 0, 8}, {5, 39, 9}, {0, 31, 10}});
    search.run();
    CHECK(search.found() == std::vector<Pair>{{2, 31}, {31, 0}});
    for (const Search::Burst &burst : search.bursts)
        CHECK(*burst.outputs.rbegin() < DiscoveryRounds::MaxPorts);
    CHECK(search.ticks == DiscoveryRounds::durationTicks(DiscoveryRounds::MaxPorts));
    CHECK(DiscoveryRounds::durationTicks(40) == DiscoveryRounds::durationTicks(DiscoveryRounds::MaxPorts));
}

TEST_CASE("no ports: nothing asked, over at once")
{
    for (const Pair &ports : std::vector<Pair>{{0, 0}, {0, 3}, {3, 0}, {-1, 2}}) {
        const int inputs = ports.first;
        const int outputs = ports.second;
        CAPTURE(inputs);
        CAPTURE(outputs);
        DiscoveryRounds rounds;
        rounds.start(inputs, outputs);
        CHECK_FALSE(rounds.isRunning());
        CHECK(rounds.nextAsk() == -1);
        SimDevice qel;
        const SysExMessage identify = buildIdentify();
        for (const Bytes &answer : qel.handle(identify.data(), identify.size()))
            rounds.takeMessage(0, answer.data(), answer.size());
        CHECK_FALSE(rounds.tick());
        CHECK(rounds.found().empty());
    }
}

TEST_CASE("a search again finds a Qel where it is now")
{
    Search search(4, 4, {{1, 1, 7}});
    search.run();
    REQUIRE(search.found() == std::vector<Pair>{{1, 1}});
    search.wires = {{2, 3, 7}};
    search.run();
    CHECK(search.found() == std::vector<Pair>{{3, 2}});
    search.wires = {};
    search.run();
    CHECK(search.found().empty());
}

TEST_CASE("a cancelled search asks no more and hears nothing")
{
    Search search(2, 2, {{1, 1, 7}});
    search.run();
    REQUIRE(search.found().size() == 1);
    search.rounds.start(2, 2);
    search.rounds.cancel();
    CHECK(search.rounds.nextAsk() == -1);
    const SysExMessage identify = buildIdentify();
    for (const Bytes &answer : search.qels[0]->handle(identify.data(), identify.size()))
        search.rounds.takeMessage(1, answer.data(), answer.size());
    CHECK_FALSE(search.rounds.tick());
    CHECK(search.rounds.found().empty());
}
