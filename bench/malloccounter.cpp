#include "malloccounter.h"

#include <atomic>
#include <cstddef>

// glibc's own entry points, which the stand-ins below hand on to.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
}

namespace {

std::atomic<std::uint64_t> counted{0};

} // namespace

extern "C" {

void *malloc(std::size_t size)
{
    counted.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    counted.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, std::size_t size)
{
    counted.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

} // extern "C"

namespace MallocCounter {

std::uint64_t allocations()
{
    return counted.load(std::memory_order_relaxed);
}

} // namespace MallocCounter
