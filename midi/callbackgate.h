#pragma once

#include <atomic>
#include <thread>

// Lets a MIDI system's thread, perhaps a real-time one, call a callback that
// the owning thread sets up and takes away, without a lock on the MIDI thread
// and without asking the MIDI library to swap its callback while a port is
// open (RtMidi reads its callback fields on JACK's thread unguarded).
// Whatever the callback uses is set up before open() and stays until close()
// has returned: open() publishes it to the MIDI thread, close() waits for a
// call under way and lets none start afterwards.
class CallbackGate
{
public:
    void open() { isOpen.store(true); }
    void close()
    {
        isOpen.store(false);
        while (running.load() != 0)
            std::this_thread::yield();
    }
    // On the MIDI thread: runs `call` only while the gate is open.
    template<typename Call>
    void pass(Call &&call)
    {
        // Counted before the look, so that close() either sees this call or
        // this call sees the gate closed.
        running.fetch_add(1);
        if (isOpen.load())
            call();
        running.fetch_sub(1);
    }

private:
    std::atomic<bool> isOpen{false};
    std::atomic<int> running{0};
};
