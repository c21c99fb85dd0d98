#pragma once

#include <QByteArray>

// The flash image built into the updater, or its first `pages` pages when
// `pages` is above 0; empty when the resource cannot be read.
QByteArray builtInImage(int pages);
