#pragma once

#include <cstdint>
#include <vector>

// One whole MIDI message, or a page frame, as the device model holds it.
using Bytes = std::vector<std::uint8_t>;
