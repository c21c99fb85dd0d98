#pragma once

#include "sysex.h"

#include <QByteArray>

#include <vector>

// One command of an update and every message the device sent in answer.
struct Exchange
{
    QByteArray command;
    std::vector<QByteArray> replies;
};

// A whole update as it went over the wire, recorded once against the simulated
// device and replayed where the device's own cost, or the tool's, must not count.
using Conversation = std::vector<Exchange>;

// Commands that await a reply: all but Finish, whose TransferState report
// nobody waits for.
inline int exchangeCount(const Conversation &conversation)
{
    int count = 0;
    for (const Exchange &exchange : conversation) {
        const bool finish = exchange.command.size() > SysEx::CommandOffset
            && std::uint8_t(exchange.command[SysEx::CommandOffset]) == std::uint8_t(Command::Finish);
        count += finish ? 0 : 1;
    }
    return count;
}
