#pragma once

#include "sysex.h"

// Where the engine's commands go.
class CommandSink
{
public:
    virtual ~CommandSink() = default;
    // True when the message was taken for sending; false means the port is gone.
    virtual bool send(const SysExMessage &message) = 0;
};
