#pragma once

#include <functional>

class MainWindow;

// Runs the updater from start-up to teardown: application identity, style,
// the "language" setting and its translators, the window and the event loop.
// Returns the event loop's exit code. `afterInit`, when set, is handed the
// initialised window just before the loop starts.
int runUpdater(int &argc, char **argv,
               const std::function<void(MainWindow &)> &afterInit = {});
