#pragma once

#include "devicebytes.h"

#include <vector>

// One command of an update and every message the device sent in answer.
struct Exchange
{
    Bytes command;
    std::vector<Bytes> replies;
};

// A whole update as it went over the wire, recorded once against the simulated
// device and replayed where the device's own cost must not count. Its last
// command is Finish, whose report nobody waits for.
using Conversation = std::vector<Exchange>;

// The commands that await a reply.
inline int exchangeCount(const Conversation &conversation)
{
    return int(conversation.size()) - 1;
}
