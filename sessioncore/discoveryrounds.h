#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A Qel heard in the rounds: the input it answers on, the output that reaches
// it, and who it is.
struct FoundQel
{
    std::uint32_t serialNumber = 0;
    std::string serialText;
    std::uint32_t firmwareVersion = 0;
    int input = -1;
    int output = -1;
};

// Finds every Qel on every port pair when Identify goes out on all outputs
// and every input is heard at once. Answers carry no sign of the port they
// were asked on, so the outputs are told apart in rounds: in round 0 every
// output asks, in round r only those whose index has bit r-1 set; a device's
// answers over the rounds spell its output's index. Each round asks a few
// times, so that a lost message or answer does not drop a bit; answers to
// the last ask have a quiet while to come back before the next round.
//
// No I/O and no clock: the caller sends Identify on each output nextAsk()
// names, hands in what its inputs receive and calls tick() every 10 ms.
class DiscoveryRounds
{
public:
    static constexpr int RoundAsks = 3;
    static constexpr int AskAgainTicks = 3;
    static constexpr int QuietTicks = 15;  // after the last ask: a few round trips, even over a slow JACK period
    static constexpr int RoundTicks = (RoundAsks - 1) * AskAgainTicks + QuietTicks;
    static constexpr int MaxPorts = 32;    // per direction; five rounds at most after the first

    // Ticks a search of `outputs` outputs takes.
    static int durationTicks(int outputs);

    // Starts round 0; ports beyond MaxPorts in a direction are left out. With
    // no input or no output there is nobody to ask: it ends at once.
    void start(int inputs, int outputs);
    // Stops; nothing more is asked or heard, the list stays as it was.
    void cancel();
    bool isRunning() const { return running; }

    // The output that should send Identify now, -1 when none waits; call
    // until -1 after start() and after each tick().
    int nextAsk();
    // A message received on `input`; anything but an identity is passed over.
    void takeMessage(int input, const std::uint8_t *message, std::size_t length);
    // One tick; false once the rounds are over and found() is final.
    bool tick();

    // Sorted by serial number, then input.
    const std::vector<FoundQel> &found() const { return devices; }

private:
    void askRound();
    void finish();

    // Per device (input, serial): the rounds it answered in, bit r for round r.
    struct Heard
    {
        int input;
        std::uint32_t serial;
        std::uint32_t version;
        unsigned rounds;
    };
    std::vector<Heard> heard;
    std::vector<FoundQel> devices;
    int inputs = 0;
    int outputs = 0;
    int round = 0;
    int rounds = 0;
    int roundTick = 0;
    int asked = 0;  // the outputs of this ask below it are done
    bool asking = false;
    bool running = false;
};
