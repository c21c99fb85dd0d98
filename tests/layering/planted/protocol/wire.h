#pragma once
// Planted fault: the wire format reaching up into the engine.
#include "sequence.h"
