#include "commandlink.h"

#include <algorithm>

namespace {

constexpr Command commandOf(const SysExMessage &message)
{
    return Command(message.bytes[SysEx::CommandOffset]);
}

// The command a reply code of the update answers, or Identify for the others.
constexpr Command answered(ReplyCode code)
{
    return code >= ReplyReadDefectList && code <= ReplyResetNand
        ? Command(int(code) - int(ReplyReadDefectList) + int(Command::ReadDefectList))
        : Command::Identify;
}

constexpr int MaxDoublings = 8;
constexpr int DataBytes = 64;  // what a ReadChunk or ReadDefectList answer carries

// The side data an answer must carry to be acted on; one cut short on the
// wire is passed over like a lost one.
constexpr int neededBytes(Command command)
{
    switch (command) {
    case Command::ReadChunk:
    case Command::ReadDefectList: return DataBytes;
    case Command::EraseBlock:
    case Command::ProgramPage: return 1;
    default: return 0;
    }
}

} // namespace

void CommandLink::reset()
{
    run = Run{};
}

void CommandLink::await(const SysExMessage &command)
{
    // A new command: what was lost before it was answered after all.
    run.timeoutsInARow = 0;
    std::copy_n(command.bytes.begin(), command.length, run.lastCommand.bytes.begin());
    run.lastCommand.length = command.length;
    send(command);
}

void CommandLink::repeat()
{
    send(run.lastCommand);
}

void CommandLink::fence()
{
    run.fenceOpen = true;
    run.fenceCommand = commandOf(run.lastCommand) == Command::ReadDefectList ? Command::ReadChunk : Command::ReadDefectList;
    send(run.fenceCommand == Command::ReadChunk ? buildReadChunk(0, 0) : buildReadDefectList(0));
}

void CommandLink::sendFinish()
{
    if (!sink.send(buildFinish())) {
        run.portRefused = true;
        return;
    }
    run.awaitedCommand = Command::Finish;
    run.awaitedSerial = sink.sentCount();
    run.sampling = false;
    run.timeoutTicks = run.replyTimer.timeoutFor(Command::Finish);
}

void CommandLink::send(const SysExMessage &command)
{
    if (!sink.send(command)) {
        run.portRefused = true;
        run.timeoutTicks = 0;
        return;
    }
    run.awaitedCommand = commandOf(command);
    run.awaitedSerial = sink.sentCount();
    run.sentAt = run.now;
    run.sampling = true;
    // Each wait in a row that ran out doubles the next one.
    run.timeoutTicks = std::min(run.replyTimer.timeoutFor(run.awaitedCommand) << std::min(run.timeoutsInARow, MaxDoublings),
                            ReplyTimer::CeilingTicks);
}

CommandLink::Take CommandLink::take(const Reply &reply)
{
    const Command command = answered(reply.code);
    if (command == Command::Identify)
        return Take::PassOver;
    run.lastAnswerAt = run.now;
    if (reply.sentBefore < run.awaitedSerial)
        return Take::PassOver;
    if (run.sampling && command == run.awaitedCommand) {
        run.sampling = false;
        run.replyTimer.record(command, run.now - run.sentAt);
    }
    if (run.fenceOpen) {
        if (command != run.fenceCommand)
            return Take::PassOver;
        run.fenceOpen = false;
        run.timeoutTicks = 0;
        return Take::Fenced;
    }
    if (command != run.awaitedCommand || reply.dataLength < neededBytes(command))
        return Take::PassOver;
    run.timeoutTicks = 0;
    return Take::Answer;
}

bool CommandLink::tick()
{
    ++run.now;
    if (run.timeoutTicks <= 0 || --run.timeoutTicks > 0)
        return false;
    ++run.timeoutsInARow;
    ++run.retryCount;
    return true;
}

bool CommandLink::silent(bool holding) const
{
    const int factor = holding ? HoldFactor : 1;
    return (run.timeoutsInARow >= factor * MaxTimeoutsInARow && run.now - run.lastAnswerAt >= factor * QuietTicks)
        || run.timeoutsInARow >= factor * MaxTimeoutsWhileAnswering;
}
