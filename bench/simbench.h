#pragma once

#include <QByteArray>

// The update through the sim service, beside a bare cross-thread ping-pong of
// as many exchanges: the whole image once, then `pairs` alternating pairs of
// one image block each for the ratio. Prints its figures.
void runSimBench(const QByteArray &image, int pairs);
