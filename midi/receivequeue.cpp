#include "receivequeue.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t powerOfTwoAtLeast(std::size_t n)
{
    std::size_t size = 1;
    while (size < n)
        size <<= 1;
    return size;
}

} // namespace

ReceiveQueue::ReceiveQueue(std::size_t slotCount)
    : mask(powerOfTwoAtLeast(std::max<std::size_t>(slotCount, 1)) - 1),
      ring(std::make_unique<Slot[]>(mask + 1))
{
}

bool ReceiveQueue::push(const std::uint8_t *data, std::size_t length, std::uint32_t stamp)
{
    if (length == 0)
        return true;  // nothing to hand on; 0 from pop() means none waits
    const std::size_t at = pushed.load(std::memory_order_relaxed);
    if (at - popped.load(std::memory_order_acquire) > mask) {
        drops.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    Slot &slot = ring[at & mask];
    slot.length = std::min(length, SlotSize);
    slot.stamp = stamp;
    std::memcpy(slot.bytes.data(), data, slot.length);
    // Publishes the bytes with the count.
    pushed.store(at + 1, std::memory_order_release);
    return true;
}

std::size_t ReceiveQueue::pop(std::uint8_t *out, std::uint32_t *stamp)
{
    const std::size_t at = popped.load(std::memory_order_relaxed);
    if (at == pushed.load(std::memory_order_acquire))
        return 0;
    const Slot &slot = ring[at & mask];
    const std::size_t length = slot.length;
    std::memcpy(out, slot.bytes.data(), length);
    if (stamp)
        *stamp = slot.stamp;
    // Hands the slot back only once it has been read.
    popped.store(at + 1, std::memory_order_release);
    return length;
}

void ReceiveQueue::clear()
{
    popped.store(pushed.load(std::memory_order_acquire), std::memory_order_release);
}
