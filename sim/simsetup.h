#pragma once

#include "midiservice.h"
#include "simworld.h"

#include <memory>

// The simulated devices of the `sim` MIDI service: one as shipped (one list
// copy, no bad block, firmware 1.08) unless the environment sets them up, for
// demonstrations and scripts:
//   QEL_SIM_DEVICES=3             this many devices (1 to 16), serial numbers counting up,
//                                 each on ports "Qel (simulated) <n> MIDI IN/OUT"
//   QEL_SIM_FACTORY_BAD=7,8,9,10  a new flash whose factory defect list names these blocks
//   QEL_SIM_FACTORY_BAD=2:7,8,9,10  the same for the second device only
//   QEL_SIM_VERSION=0x0A01        the firmware version word it reports (low byte major)
//   QEL_SIM_SILENT=1              every reply is lost
//   QEL_SIM_READS=block0          what ReadChunk reaches: whole (the default), block0
//                                 (0xFF beyond block 0), block0-aliased, block0-silent
//   QEL_SIM_SAVE_DIR=DIR          at the end each device saves the image it holds
//                                 to DIR/qel-<serial>.bin (SimWorld::saveImagesAtEnd)
// The others apply to every device.
std::shared_ptr<SimWorld> createSimWorldFromEnvironment();
// One more service on the same devices; any number may be open at once.
std::unique_ptr<MidiService> createSimService(std::shared_ptr<SimWorld> world);
// A service on a world of its own.
std::unique_ptr<MidiService> createSimServiceFromEnvironment();
