#include "simmidiservice.h"

namespace {

SimDevice shippedDevice()
{
    SimDevice device;
    device.storeListCopies(1, {}, 0);
    return device;
}

} // namespace

SimMidiService::SimMidiService()
    : SimMidiService(shippedDevice())
{
}

SimMidiService::SimMidiService(SimDevice device, LinkFaults faults)
    : sim(std::move(device), std::move(faults), [this](const QByteArray &message) { deliver(message); })
{
}

SimMidiService::~SimMidiService() = default;

std::optional<QString> SimMidiService::inPortName(int index) const
{
    if (index != 0 || !present())
        return std::nullopt;
    return inPort();
}

std::optional<QString> SimMidiService::outPortName(int index) const
{
    if (index != 0 || !present())
        return std::nullopt;
    return outPort();
}

bool SimMidiService::openIn(int index, ReceiveCallback receive)
{
    closeIn();
    if (index != 0 || !present() || !receive)
        return false;
    std::lock_guard<std::mutex> lock(callbackMutex);
    callback = std::move(receive);
    inOpen = true;
    return true;
}

bool SimMidiService::openOut(int index)
{
    closeOut();
    if (index != 0 || !present())
        return false;
    outOpen = true;
    return true;
}

void SimMidiService::closeIn()
{
    // Taking the lock waits for a callback under way; none starts afterwards.
    std::lock_guard<std::mutex> lock(callbackMutex);
    inOpen = false;
    callback = nullptr;
}

void SimMidiService::closeOut()
{
    outOpen = false;
}

bool SimMidiService::isInOpen() const
{
    return inOpen && present();
}

bool SimMidiService::isOutOpen() const
{
    return outOpen && present();
}

bool SimMidiService::send(const std::uint8_t *data, std::size_t length)
{
    if (!isOutOpen() || !data || length == 0)
        return false;
    sim.post(QByteArray(reinterpret_cast<const char *>(data), int(length)));
    return true;
}

void SimMidiService::deliver(const QByteArray &message)
{
    std::lock_guard<std::mutex> lock(callbackMutex);
    if (inOpen && callback)
        callback(reinterpret_cast<const std::uint8_t *>(message.constData()), std::size_t(message.size()));
}
