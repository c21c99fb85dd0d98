#pragma once

#include "midiservice.h"
#include "simloop.h"

#include <memory>

// A MIDI service with one port each way that talks to `loop` on the caller's
// thread, as a session uses a real one. The loop must outlive it.
std::unique_ptr<MidiService> makeSimLoopService(SimLoop &loop);
