#include "malloccounter.h"

#include <cstddef>

// glibc's own entry points, which the stand-ins below hand on to.
extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
}

namespace {

// Initial-exec TLS of the program itself: usable from the first malloc on.
thread_local std::uint64_t counted = 0;

} // namespace

extern "C" {

void *malloc(std::size_t size)
{
    ++counted;
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size)
{
    ++counted;
    return __libc_calloc(count, size);
}

void *realloc(void *pointer, std::size_t size)
{
    ++counted;
    return __libc_realloc(pointer, size);
}

} // extern "C"

namespace MallocCounter {

std::uint64_t allocations()
{
    return counted;
}

} // namespace MallocCounter
