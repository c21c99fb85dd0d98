#pragma once

#include "conversation.h"

#include <QByteArray>

// The update against a simulated device that answers at once on the same
// thread, once, with every command and reply kept.
Conversation recordUpdate(const QByteArray &image);

// The tool's own work per exchange: the engine, the codec and the dispatch,
// with the device's cost taken out. Prints its figures.
void runInlineBench(const QByteArray &image, const Conversation &conversation, int rounds);
