#pragma once

#include "midiservice.h"

#include <QString>

#include <memory>

// The MIDI service that QEL_MIDI_API names: "sim" for the simulated device,
// "alsa", "jack", "winmm" or "core" for that RtMidi API, empty for RtMidi's default.
// The simulated device is the shipped one (one list copy, no bad block, firmware
// 1.08) unless the environment sets it up, for demonstrations and scripts:
//   QEL_SIM_FACTORY_BAD=7,8,9,10  a new flash whose factory defect list names these blocks
//   QEL_SIM_VERSION=0x0A01        the firmware version word it reports (low byte major)
//   QEL_SIM_SILENT=1              every reply is lost
std::unique_ptr<MidiService> createMidiService(const QString &api);
std::unique_ptr<MidiService> createMidiServiceFromEnvironment();
