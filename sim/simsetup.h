#pragma once

#include "midiservice.h"

#include <memory>

// The simulated device as the `sim` MIDI service: the shipped one (one list
// copy, no bad block, firmware 1.08) unless the environment sets it up, for
// demonstrations and scripts:
//   QEL_SIM_FACTORY_BAD=7,8,9,10  a new flash whose factory defect list names these blocks
//   QEL_SIM_VERSION=0x0A01        the firmware version word it reports (low byte major)
//   QEL_SIM_SILENT=1              every reply is lost
std::unique_ptr<MidiService> createSimServiceFromEnvironment();
