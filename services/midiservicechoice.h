#pragma once

#include "midiservice.h"

#include <QString>

#include <functional>
#include <memory>

// Makes one MIDI service each time it is called.
using MidiServiceMaker = std::function<std::unique_ptr<MidiService>()>;

// Services of the kind `api` names, the window's QEL_MIDI_API and the command
// line's --api alike: "sim" for the simulated devices, "alsa", "jack", "winmm"
// or "core" for that RtMidi API, empty for RtMidi's default. Services for
// "sim" share one simulated world, so that probes find its devices.
MidiServiceMaker midiServiceMaker(const QString &api);
