#pragma once

#include <cstdint>

// Counts this program's heap allocations on every thread: it stands in for
// malloc, calloc and realloc (and so for operator new and Qt's containers).
namespace MallocCounter {

std::uint64_t allocations();

} // namespace MallocCounter
