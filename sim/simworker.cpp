#include "simworker.h"

SimWorker::SimWorker(SimDevice device, LinkFaults faults, Sink sink)
    : device(std::move(device))
    , faults(std::move(faults))
    , sink(std::move(sink))
    , thread(&SimWorker::run, this)
{
}

SimWorker::~SimWorker()
{
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        stopping = true;
    }
    wake.notify_all();
    idle.notify_all();
    thread.join();
}

void SimWorker::post(Bytes command)
{
    {
        std::lock_guard<std::mutex> lock(queueMutex);
        queue.push_back(std::move(command));
    }
    wake.notify_one();
}

void SimWorker::waitIdle()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    idle.wait(lock, [this] { return stopping || (queue.empty() && !busy); });
}

void SimWorker::run()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    for (;;) {
        wake.wait(lock, [this] { return stopping || !queue.empty(); });
        if (stopping)
            return;
        const Bytes command = std::move(queue.front());
        queue.pop_front();
        busy = true;
        lock.unlock();
        if (!gone.load())
            answer(command);
        lock.lock();
        busy = false;
        if (queue.empty())
            idle.notify_all();
    }
}

void SimWorker::answer(const Bytes &command)
{
    std::vector<WireMessage> wire;
    bool unplugged = false;
    {
        std::lock_guard<std::mutex> lock(stateMutex);
        if (faults.losesCommand(command))
            return;
        wire = faults.apply(device.handle(command));
        unplugged = faults.vanished();
    }
    for (const WireMessage &message : wire) {
        if (message.late && !holdBack())
            return;
        sink(message.bytes);
    }
    if (unplugged && !gone.exchange(true) && onVanish)
        onVanish();
}

bool SimWorker::holdBack()
{
    std::unique_lock<std::mutex> lock(queueMutex);
    return !wake.wait_for(lock, lateDelay.load(), [this] { return stopping; });
}
