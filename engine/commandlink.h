#pragma once

#include "commandsink.h"
#include "reply.h"
#include "replytimer.h"
#include "sysex.h"

#include <cstdint>

// One command awaits one answer at a time. Replies carry no sequence number,
// so this is where a reply is judged to be the awaited answer or not:
// - its type must answer the awaited command;
// - it must have arrived after that command went out (Reply::sentBefore): a
//   duplicate that was already waiting cannot pass for the next answer;
// - after a lost answer, a read of another type goes first (the fence), and
//   every reply before the fence's own answer is passed over, late ones too.
// The wait for an answer follows what answers of that command took so far
// (ReplyTimer) and doubles with each wait in a row that ran out. The device
// counts as silent after several lost answers in a row with nothing heard for
// a while; while it holds no bad-block list, silence is waited out longer.
class CommandLink
{
public:
    static constexpr int MaxTimeoutsInARow = 5;
    // ... and only once nothing at all came for this long: late answers on a
    // busy link are not silence.
    static constexpr int QuietTicks = ReplyTimer::CeilingTicks;
    // A device that answers, but never the command asked again, after this many.
    static constexpr int MaxTimeoutsWhileAnswering = 4 * MaxTimeoutsInARow;
    // How much longer silence is waited out while an ending would lose the list.
    static constexpr int HoldFactor = 4;

    enum class Take {
        Answer,    // the awaited answer
        PassOver,  // anything else
        Fenced,    // the fence's answer: whatever was on its way has arrived
    };

    explicit CommandLink(CommandSink &sink) : sink(sink) {}

    void reset();
    // Sends a new command that awaits an answer and arms its time-out.
    void await(const SysExMessage &command);
    // Sends the last awaited command again.
    void repeat();
    // Sends the fence after a lost answer (or before a second reading).
    void fence();
    // Finish has no answer of its own; the time-out is the caller's to read.
    void sendFinish();
    Take take(const Reply &reply);
    // One tick: true when the wait for the answer ran out on it.
    bool tick();
    void disarm() { run.timeoutTicks = 0; }
    // After a wait ran out: whether the device is to be taken as silent.
    bool silent(bool holding) const;

    Command awaited() const { return run.awaitedCommand; }
    bool fencing() const { return run.fenceOpen; }
    int timeout() const { return run.timeoutTicks; }
    int retries() const { return run.retryCount; }
    int lostInARow() const { return run.timeoutsInARow; }
    // The port refused a message: the update cannot go on.
    bool refused() const { return run.portRefused; }

private:
    void send(const SysExMessage &command);

    CommandSink &sink;
    // Everything one update changes.
    struct Run
    {
        ReplyTimer replyTimer;
        SysExMessage lastCommand;
        Command awaitedCommand = Command::Identify;
        std::uint32_t awaitedSerial = 0;  // the sink's count once it was sent
        Command fenceCommand = Command::ReadDefectList;
        bool fenceOpen = false;
        bool sampling = false;  // the next answer of the awaited type is timed
        bool portRefused = false;
        int now = 0;
        int sentAt = 0;
        int lastAnswerAt = 0;
        int timeoutTicks = 0;
        int timeoutsInARow = 0;
        int retryCount = 0;
    };
    Run run;
};
