#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// Received messages on their way from the MIDI system's thread to the GUI
// thread. One thread pushes and one pops; neither locks, and nothing is
// allocated after construction, because the pushing thread may be a real-time
// one (JACK's process thread) that must not wait or allocate.
class ReceiveQueue
{
public:
    // A longer message is kept cut to this length.
    static constexpr std::size_t SlotSize = 1024;
    // The device answers one command at a time, so a full queue means the GUI
    // thread has stalled; what comes then is dropped and counted.
    static constexpr std::size_t DefaultSlots = 128;

    // `slotCount` is rounded up to a power of two.
    explicit ReceiveQueue(std::size_t slotCount = DefaultSlots);
    ReceiveQueue(const ReceiveQueue &) = delete;
    ReceiveQueue &operator=(const ReceiveQueue &) = delete;

    // Producer side. False when the queue was full and the message dropped.
    // `stamp` travels with the message.
    bool push(const std::uint8_t *data, std::size_t length, std::uint32_t stamp = 0);
    // Consumer side. Copies the oldest message into `out` (SlotSize bytes)
    // and returns its length, its stamp into `stamp` if given; 0 when none waits.
    std::size_t pop(std::uint8_t *out, std::uint32_t *stamp = nullptr);
    // Consumer side: drops whatever waits.
    void clear();

    // Consumer side: whether nothing waits.
    bool empty() const { return popped.load(std::memory_order_relaxed) == pushed.load(std::memory_order_acquire); }
    std::size_t capacity() const { return mask + 1; }
    std::uint64_t dropped() const { return drops.load(std::memory_order_relaxed); }

private:
    struct Slot
    {
        std::size_t length = 0;
        std::uint32_t stamp = 0;
        std::array<std::uint8_t, SlotSize> bytes;
    };

    std::size_t mask;
    std::unique_ptr<Slot[]> ring;
    // Counts of messages pushed and popped; they only grow, wrapping together.
    alignas(64) std::atomic<std::size_t> pushed{0};
    alignas(64) std::atomic<std::size_t> popped{0};
    std::atomic<std::uint64_t> drops{0};
};
