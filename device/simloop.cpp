#include "simloop.h"

#include <algorithm>

SimLoop::SimLoop()
    : responder([this](const Bytes &command) { return device.handle(command); })
{
}

SimLoop::~SimLoop() = default;

bool SimLoop::send(const std::uint8_t *data, std::size_t length)
{
    const int index = sentTotal;
    if ((refuseFrom != NoLimit && index >= refuseFrom) || (refuseWhenVanished && faults.vanished()))
        return false;
    ++sentTotal;
    Bytes command(data, data + length);
    if (recordSent)
        sentMessages.push_back(command);
    if (faults.losesCommand(command))
        return true;  // the port took it; the device never hears of it
    const std::vector<Bytes> replies = responder(command);
    const Fate what = fate ? fate(command, index) : Fate::Deliver;
    if (what == Fate::Lose)
        return true;
    if (what == Fate::Hold) {
        held.insert(held.end(), replies.begin(), replies.end());
        return true;
    }
    // A reply on time is here at once; a late one only when it is due.
    for (WireMessage &message : faults.apply(replies))
        queue.push_back({std::move(message.bytes), message.late ? now + lateTicks : now,
                         message.late ? Reply::Unstamped : std::uint32_t(sentTotal)});
    return true;
}

int SimLoop::pump()
{
    int delivered = 0;
    // Strictly in order: a late reply holds up everything behind it, as on a cable.
    while (!queue.empty() && queue.front().due <= now) {
        const Bytes message = std::move(queue.front().bytes);
        stamp = queue.front().stamp == Reply::Unstamped ? std::uint32_t(sentTotal) : queue.front().stamp;
        queue.pop_front();
        ++delivered;
        if (receiver)
            receiver(message);
        else if (portCallback)
            portCallback(message.data(), message.size());
    }
    return delivered;
}

void SimLoop::tick()
{
    ++now;
}

void SimLoop::releaseHeld()
{
    for (auto it = held.rbegin(); it != held.rend(); ++it)
        queue.push_front({std::move(*it), now, Reply::Unstamped});
    held.clear();
}

void SimLoop::clearWire()
{
    queue.clear();
    held.clear();
}
