#pragma once

#include "midiservice.h"

#include <QString>

#include <memory>

// The MIDI service that QEL_MIDI_API names: "sim" for the simulated device,
// "alsa", "jack", "winmm" or "core" for that RtMidi API, empty for RtMidi's default.
std::unique_ptr<MidiService> createMidiService(const QString &api);
std::unique_ptr<MidiService> createMidiServiceFromEnvironment();
