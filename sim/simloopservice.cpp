#include "simloopservice.h"

namespace {

const QString PortName = QStringLiteral("Qel (simulated, same thread)");

// The loop's port pair: one port each way, index 0.
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
        loop.attachPort(std::move(callback));
        return inOpen = true;
    }
    bool openOut(int index) override { return outOpen = index == 0; }
    void closeIn() override
    {
        if (inOpen)
            loop.attachPort(nullptr);
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

} // namespace

std::unique_ptr<MidiService> makeSimLoopService(SimLoop &loop)
{
    return std::make_unique<SimLoopService>(loop);
}
