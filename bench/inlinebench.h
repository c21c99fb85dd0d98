#pragma once

#include "benchimage.h"
#include "conversation.h"

// The update against a simulated device that answers at once on the same
// thread, once, with every command and reply kept.
Conversation recordUpdate(const ImageFile &image);

// The tool's own work per exchange: the session with its engine, codec and
// dispatch, the device's cost taken out. Prints its figures.
void runInlineBench(const ImageFile &image, const Conversation &conversation, int rounds);
