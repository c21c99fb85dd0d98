#pragma once
// Planted fault: the device model reaching up into the MIDI layer.
#include "midiservice.h"
