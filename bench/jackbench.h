#pragma once

#include "benchimage.h"

// `pairs` alternating pairs of one image block each: the update over a private JACK
// server against the stand-alone simulator, and a bare RtMidi ping-pong of
// the same traffic. Prints the ratio.
void runJackBench(const ImageFile &image, int period, int pairs, const QString &simulatorPath);
