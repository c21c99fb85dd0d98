#pragma once

#include <cstdint>

// Counts heap allocations by standing in for malloc, calloc and realloc (and
// so for operator new and Qt's containers). Each thread counts its own, so
// threads that allocate at once do not contend for one counter.
namespace MallocCounter {

// Allocations the calling thread has made so far.
std::uint64_t allocations();

} // namespace MallocCounter
