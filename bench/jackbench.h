#pragma once

#include "benchimage.h"
#include "benchoptions.h"
#include "conversation.h"

// The update over a private JACK server against the stand-alone simulator,
// beside a bare RtMidi ping-pong of the same traffic: the whole image once,
// then alternating pairs of one image block each for the ratio. Prints its figures.
void runJackBench(const ImageFile &image, const Conversation &conversation, const BenchOptions &options);
