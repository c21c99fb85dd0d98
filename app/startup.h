#pragma once

#include "discovery.h"

#include <QString>

#include <functional>
#include <memory>

class MainWindow;
class MidiService;

// The MIDI service that QEL_MIDI_API names: "sim" for the simulated device,
// "alsa", "jack", "winmm" or "core" for that RtMidi API, empty for RtMidi's default.
std::unique_ptr<MidiService> createMidiService(const QString &api);
// Makes such services again and again; for "sim" they share one simulated world.
Discovery::ServiceFactory midiServiceMaker(const QString &api);

// Runs the updater from start-up to teardown: application identity, style,
// the "language" setting and its translators, the window and the event loop.
// Returns the event loop's exit code. `afterInit`, when set, is handed the
// initialised window just before the loop starts.
int runUpdater(int &argc, char **argv,
               const std::function<void(MainWindow &)> &afterInit = {});
