#include "simloop.h"

#include <algorithm>

namespace {

const QString PortName = QStringLiteral("Qel (simulated, same thread)");

} // namespace

// The loop's port pair as a MidiService: one port each way, index 0.
class SimLoopService : public MidiService
{
public:
    explicit SimLoopService(SimLoop &loop) : loop(loop) {}
    ~SimLoopService() override { closeIn(); }

    std::optional<QString> inPortName(int index) const override { return portName(index); }
    std::optional<QString> outPortName(int index) const override { return portName(index); }
    bool openIn(int index, ReceiveCallback callback) override
    {
        closeIn();
        if (index != 0)
            return false;
        loop.portCallback = std::move(callback);
        return inOpen = true;
    }
    bool openOut(int index) override { return outOpen = index == 0; }
    void closeIn() override
    {
        if (inOpen)
            loop.portCallback = nullptr;
        inOpen = false;
    }
    void closeOut() override { outOpen = false; }
    bool isInOpen() const override { return inOpen; }
    bool isOutOpen() const override { return outOpen; }
    bool send(const std::uint8_t *data, std::size_t length) override
    {
        return outOpen && loop.send(data, length);
    }

private:
    std::optional<QString> portName(int index) const
    {
        return index == 0 && loop.portsListed ? std::optional<QString>(PortName) : std::nullopt;
    }

    SimLoop &loop;
    bool inOpen = false;
    bool outOpen = false;
};

SimLoop::SimLoop()
    : responder([this](const QByteArray &command) { return device.handle(command); })
{
}

SimLoop::~SimLoop() = default;

std::unique_ptr<MidiService> SimLoop::makeService()
{
    return std::make_unique<SimLoopService>(*this);
}

bool SimLoop::send(const std::uint8_t *data, std::size_t length)
{
    const int index = sentTotal;
    if ((refuseFrom != NoLimit && index >= refuseFrom) || (refuseWhenVanished && faults.vanished()))
        return false;
    ++sentTotal;
    const QByteArray command(reinterpret_cast<const char *>(data), qsizetype(length));
    if (recordSent)
        sentMessages << command;
    if (faults.losesCommand(command))
        return true;  // the port took it; the device never hears of it
    const std::vector<QByteArray> replies = responder(command);
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
        const QByteArray message = std::move(queue.front().bytes);
        stamp = queue.front().stamp == Reply::Unstamped ? std::uint32_t(sentTotal) : queue.front().stamp;
        queue.pop_front();
        ++delivered;
        if (receiver)
            receiver(message);
        else if (portCallback)
            portCallback(reinterpret_cast<const std::uint8_t *>(message.constData()),
                         std::size_t(message.size()));
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
