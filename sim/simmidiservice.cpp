#include "simmidiservice.h"

namespace {

SimDevice shippedDevice()
{
    SimDevice device;
    device.storeListCopies(1, {}, 0);
    return device;
}

std::shared_ptr<SimWorld> worldOf(SimDevice device, LinkFaults faults)
{
    std::vector<SimWorld::Member> members;
    members.push_back({std::move(device), std::move(faults)});
    return std::make_shared<SimWorld>(std::move(members));
}

} // namespace

SimMidiService::SimMidiService()
    : SimMidiService(shippedDevice())
{
}

SimMidiService::SimMidiService(SimDevice device, LinkFaults faults)
    : SimMidiService(worldOf(std::move(device), std::move(faults)))
{
}

SimMidiService::SimMidiService(std::shared_ptr<SimWorld> world)
    : shared(std::move(world))
{
}

SimMidiService::~SimMidiService()
{
    // The world may outlive this service: its threads must not call in here.
    closeIn();
}

std::optional<QString> SimMidiService::inPortName(int index) const
{
    const int device = shared->deviceAt(index);
    if (device < 0)
        return std::nullopt;
    return shared->inPortName(device);
}

std::optional<QString> SimMidiService::outPortName(int index) const
{
    const int device = shared->deviceAt(index);
    if (device < 0)
        return std::nullopt;
    return shared->outPortName(device);
}

bool SimMidiService::openIn(int index, ReceiveCallback receive)
{
    closeIn();
    const int device = shared->deviceAt(index);
    inlet = shared->listen(device, std::move(receive));
    if (!inlet)
        return false;
    inDevice = device;
    return true;
}

bool SimMidiService::openOut(int index)
{
    closeOut();
    const int device = shared->deviceAt(index);
    if (device < 0)
        return false;
    outDevice = device;
    return true;
}

void SimMidiService::closeIn()
{
    shared->stopListening(inDevice.exchange(-1), inlet);
    inlet.reset();
}

void SimMidiService::closeOut()
{
    outDevice = -1;
}

bool SimMidiService::isInOpen() const
{
    return shared->present(inDevice);
}

bool SimMidiService::isOutOpen() const
{
    return shared->present(outDevice);
}

bool SimMidiService::send(const std::uint8_t *data, std::size_t length)
{
    const int device = outDevice;
    if (!shared->present(device) || !data || length == 0)
        return false;
    shared->post(device, Bytes(data, data + length));
    return true;
}
