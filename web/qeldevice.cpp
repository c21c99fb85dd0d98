#include "qeldevice.h"

#include "linkfaults.h"
#include "simdevice.h"

#include <algorithm>
#include <cstring>
#include <set>

struct QelDevice
{
    SimDevice device;
    LinkFaults faults;
    std::vector<Bytes> replies;  // of the last command, as they reach the updater
};

namespace {

SimDevice::ReadReach readReach(int reads)
{
    switch (reads) {
    case QEL_READS_BLOCK_ZERO: return SimDevice::ReadReach::BlockZero;
    case QEL_READS_BLOCK_ZERO_SILENT: return SimDevice::ReadReach::BlockZeroSilent;
    default: return SimDevice::ReadReach::WholeFlash;
    }
}

} // namespace

extern "C" {

QelDevice *qel_device_new(int reads, double loss, uint32_t seed)
{
    auto *qel = new QelDevice;
    qel->device.setReadReach(readReach(reads));
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

void qel_device_set_identity(QelDevice *qel, uint32_t serial, uint32_t firmware)
{
    SimDevice::Identity identity = qel->device.identity();
    identity.serialNumber = serial;
    identity.firmwareVersion = firmware;
    qel->device.setIdentity(identity);
}

void qel_device_fail_erase(QelDevice *qel, int block)
{
    qel->device.failErase(block);
}

void qel_device_fail_program(QelDevice *qel, int block, int page)
{
    qel->device.failProgram(block, page < 0 ? -1 : page);
}

void qel_device_erase_all(QelDevice *qel)
{
    qel->device.eraseAll();
}

void qel_device_set_factory_defect(QelDevice *qel, int block)
{
    SimDevice &device = qel->device;
    std::set<int> defects = device.factoryDefects();
    defects.insert(block);
    device.setFactoryDefects(defects);
    // A flash in use lists its factory defects in every copy of its list.
    if (const auto list = device.storedList()) {
        std::set<int> listed = list->badBlocks;
        listed.insert(device.factoryDefects().begin(), device.factoryDefects().end());
        device.storeListCopies(device.listCopies(), listed, std::int16_t(device.factoryDefects().size()));
    }
}

} // extern "C"
