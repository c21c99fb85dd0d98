#include "qeldevice.h"

#include "linkfaults.h"
#include "simdevice.h"

#include <algorithm>
#include <cstring>

struct QelDevice
{
    SimDevice device;
    LinkFaults faults;
    std::vector<Bytes> replies;  // of the last command, as they reach the updater
};

extern "C" {

QelDevice *qel_device_new(int reads, double loss, uint32_t seed)
{
    auto *qel = new QelDevice;
    qel->device.setReadReach(reads == QEL_READS_BLOCK_ZERO ? SimDevice::ReadReach::BlockZero
                                                           : SimDevice::ReadReach::WholeFlash);
    qel->device.storeListCopies(1, {}, 0);
    LinkFaults::Rates rates;
    rates.lose = rates.loseCommand = std::clamp(loss, 0.0, 1.0);
    qel->faults.setRates(rates, seed);
    return qel;
}

void qel_device_free(QelDevice *device)
{
    delete device;
}

size_t qel_device_handle(QelDevice *qel, const uint8_t *command, size_t length)
{
    qel->replies.clear();
    const Bytes message(command, command + length);
    if (qel->faults.losesCommand(message))
        return 0;
    for (WireMessage &wire : qel->faults.apply(qel->device.handle(message)))
        qel->replies.push_back(std::move(wire.bytes));
    return qel->replies.size();
}

size_t qel_device_reply(const QelDevice *qel, size_t index, uint8_t *out, size_t capacity)
{
    if (index >= qel->replies.size())
        return 0;
    const Bytes &reply = qel->replies[index];
    if (reply.size() <= capacity)
        std::memcpy(out, reply.data(), reply.size());
    return reply.size();
}

int qel_device_holds(const QelDevice *qel, const uint8_t *image, size_t size)
{
    const Bytes held = qel->device.image(std::int64_t(size));
    return held.size() == size && std::equal(held.begin(), held.end(), image) ? 1 : 0;
}

size_t qel_device_violations(const QelDevice *qel)
{
    return qel->device.violations().size();
}

int qel_device_losses(const QelDevice *qel)
{
    return qel->faults.count(LinkFaults::Fault::Lose) + qel->faults.count(LinkFaults::Fault::LoseCommand);
}

uint32_t qel_device_firmware(const QelDevice *qel)
{
    return qel->device.identity().firmwareVersion;
}

} // extern "C"
