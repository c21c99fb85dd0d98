#pragma once

#include "benchimage.h"

// The update through the sim service, beside a bare cross-thread ping-pong of
// as many exchanges: the whole image once, then `pairs` alternating pairs of
// one image block each for the ratio. Prints its figures.
void runSimBench(const ImageFile &image, int pairs);
