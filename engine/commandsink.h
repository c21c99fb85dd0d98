#pragma once

#include "sysex.h"

#include <cstdint>

// Where the engine's commands go.
class CommandSink
{
public:
    virtual ~CommandSink() = default;
    // True when the message was taken for sending; false means the port is gone.
    virtual bool send(const SysExMessage &message) = 0;
    // Messages sent so far, counted as the replies' Reply::sentBefore is;
    // a sink that does not count lets every reply through.
    virtual std::uint32_t sentCount() const { return 0; }
};
