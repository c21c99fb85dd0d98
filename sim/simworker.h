#pragma once

#include "linkfaults.h"
#include "simdevice.h"

#include "devicebytes.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

// A simulated device on a thread of its own, as if behind a MIDI cable:
// commands queue up and, unless the link faults lose them, reach the device;
// its replies, after the link faults, go to the sink from that thread, one
// message per call.
class SimWorker
{
public:
    using Sink = std::function<void(const Bytes &message)>;
    // Past the updater's 2.5 s reply time-out.
    static constexpr std::chrono::milliseconds DefaultLateDelay{3000};

    SimWorker(SimDevice device, LinkFaults faults, Sink sink);
    // Stops at once, also in the middle of a late delay.
    ~SimWorker();
    SimWorker(const SimWorker &) = delete;
    SimWorker &operator=(const SimWorker &) = delete;

    // Queues one command; never blocks on the device.
    void post(Bytes command);
    // Returns once every command posted so far has been answered.
    void waitIdle();

    // Runs `f` on the device or the fault plan, locked against the worker thread.
    template <typename F>
    decltype(auto) withDevice(F &&f)
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        return f(device);
    }
    template <typename F>
    decltype(auto) withFaults(F &&f)
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        return f(faults);
    }

    void setLateDelay(std::chrono::milliseconds delay) { lateDelay = delay; }
    // True once the port went away; later commands are dropped unanswered.
    bool vanished() const { return gone.load(); }
    // Called once, on the worker thread, when the port goes away. Set it before posting.
    void setOnVanish(std::function<void()> callback) { onVanish = std::move(callback); }

private:
    void run();
    void answer(const Bytes &command);
    // Waits out a late delay; false when the worker is stopping meanwhile.
    bool holdBack();

    std::mutex queueMutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Bytes> queue;
    bool busy = false;
    bool stopping = false;

    std::mutex stateMutex;
    SimDevice device;
    LinkFaults faults;

    Sink sink;
    std::function<void()> onVanish;
    std::atomic<bool> gone{false};
    std::atomic<std::chrono::milliseconds> lateDelay{DefaultLateDelay};
    std::thread thread;  // last, so it starts with everything above in place
};
