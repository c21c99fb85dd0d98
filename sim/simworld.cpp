#include "simworld.h"

#include "reply.h"

#include <QDir>
#include <QFile>
#include <QLoggingCategory>

#include <algorithm>

namespace {

const QString PortPrefix = QStringLiteral("Qel (simulated)");

Q_LOGGING_CATEGORY(lcSimWorld, "qel.sim")

} // namespace

void SimWorld::Inlet::deliver(const Bytes &message)
{
    std::lock_guard<std::mutex> lock(mutex);
    if (receive)
        receive(message.data(), message.size());
}

void SimWorld::Inlet::close()
{
    std::lock_guard<std::mutex> lock(mutex);
    receive = nullptr;
}

SimWorld::SimWorld(std::vector<Member> members)
{
    devices.reserve(members.size());
    for (Member &member : members) {
        auto device = std::make_unique<Device>();
        Device &target = *device;
        device->worker = std::make_unique<SimWorker>(std::move(member.device), std::move(member.faults),
                                                     [this, &target](const Bytes &m) { deliver(target, m); });
        devices.push_back(std::move(device));
    }
}

SimWorld::~SimWorld()
{
    if (saveDir.isEmpty())
        return;
    for (const std::unique_ptr<Device> &device : devices) {
        device->worker->waitIdle();
        const auto [serial, image] = device->worker->withDevice([](SimDevice &d) {
            return std::pair(d.identity().serialNumber, d.image(d.announcedSize()));
        });
        QFile file(QDir(saveDir).filePath(QStringLiteral("qel-%1.bin").arg(QString::fromStdString(formatSerial(serial)))));
        if (!file.open(QIODevice::WriteOnly) || file.write(reinterpret_cast<const char *>(image.data()), qint64(image.size())) != qint64(image.size()))
            qCWarning(lcSimWorld) << "could not save" << file.fileName() << file.errorString();
    }
}

QString SimWorld::inPortName(int device) const
{
    return deviceCount() == 1 ? PortPrefix + QStringLiteral(" MIDI OUT")
                              : QStringLiteral("%1 %2 MIDI OUT").arg(PortPrefix).arg(device + 1);
}

QString SimWorld::outPortName(int device) const
{
    return deviceCount() == 1 ? PortPrefix + QStringLiteral(" MIDI IN")
                              : QStringLiteral("%1 %2 MIDI IN").arg(PortPrefix).arg(device + 1);
}

bool SimWorld::present(int device) const
{
    return device >= 0 && device < deviceCount() && !devices[std::size_t(device)]->worker->vanished();
}

int SimWorld::deviceAt(int index) const
{
    if (index < 0)
        return -1;
    for (int device = 0; device < deviceCount(); ++device) {
        if (present(device) && index-- == 0)
            return device;
    }
    return -1;
}

std::shared_ptr<SimWorld::Inlet> SimWorld::listen(int device, MidiService::ReceiveCallback callback)
{
    if (!present(device) || !callback)
        return nullptr;
    auto inlet = std::make_shared<Inlet>(std::move(callback));
    Device &target = *devices[std::size_t(device)];
    std::lock_guard<std::mutex> lock(target.inletMutex);
    target.inlets.push_back(inlet);
    return inlet;
}

void SimWorld::stopListening(int device, const std::shared_ptr<Inlet> &inlet)
{
    if (device < 0 || device >= deviceCount() || !inlet)
        return;
    Device &target = *devices[std::size_t(device)];
    {
        std::lock_guard<std::mutex> lock(target.inletMutex);
        target.inlets.erase(std::remove(target.inlets.begin(), target.inlets.end(), inlet), target.inlets.end());
    }
    // The worker may still hold it in its copy; closed, it takes nothing more.
    inlet->close();
}

void SimWorld::post(int device, Bytes command)
{
    if (present(device))
        devices[std::size_t(device)]->worker->post(std::move(command));
}

void SimWorld::deliver(Device &device, const Bytes &message)
{
    // A copy, so that a callback under way holds up only its own service's closeIn().
    {
        std::lock_guard<std::mutex> lock(device.inletMutex);
        device.delivering = device.inlets;
    }
    for (const std::shared_ptr<Inlet> &inlet : device.delivering)
        inlet->deliver(message);
    device.delivering.clear();
}
