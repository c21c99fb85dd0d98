#include "simsetup.h"

#include "simmidiservice.h"

#include <QLoggingCategory>
#include <QStringList>

namespace {

Q_LOGGING_CATEGORY(lcSimSetup, "qel.sim")

const char FactoryBadVariable[] = "QEL_SIM_FACTORY_BAD";
const char VersionVariable[] = "QEL_SIM_VERSION";
const char SilentVariable[] = "QEL_SIM_SILENT";
const char DevicesVariable[] = "QEL_SIM_DEVICES";

int deviceCount()
{
    const QString text = qEnvironmentVariable(DevicesVariable);
    if (text.isEmpty())
        return 1;
    bool ok = false;
    const int count = text.trimmed().toInt(&ok);
    if (ok && count >= 1 && count <= SimWorld::MaxDevices)
        return count;
    qCWarning(lcSimSetup) << DevicesVariable << "must be 1 to" << SimWorld::MaxDevices << "not" << text;
    return 1;
}

} // namespace

std::shared_ptr<SimWorld> createSimWorldFromEnvironment()
{
    SimDevice device;
    const QString factoryBad = qEnvironmentVariable(FactoryBadVariable);
    if (factoryBad.isEmpty()) {
        device.storeListCopies(1, {}, 0);
    } else {
        std::set<int> blocks;
        for (const QString &item : factoryBad.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            bool ok = false;
            const int block = item.trimmed().toInt(&ok);
            if (ok && block >= 0 && block < SimDevice::Blocks)
                blocks.insert(block);
            else
                qCWarning(lcSimSetup) << FactoryBadVariable << "ignores" << item;
        }
        device.eraseAll();
        device.setFactoryDefects(blocks);
    }
    const QString version = qEnvironmentVariable(VersionVariable);
    if (!version.isEmpty()) {
        bool ok = false;
        const uint word = version.trimmed().toUInt(&ok, 0);
        if (ok) {
            SimDevice::Identity identity = device.identity();
            identity.firmwareVersion = word;
            device.setIdentity(identity);
        } else {
            qCWarning(lcSimSetup) << VersionVariable << "is no number:" << version;
        }
    }
    LinkFaults faults;
    if (qEnvironmentVariableIntValue(SilentVariable) == 1) {
        LinkFaults::Rates rates;
        rates.lose = 1.0;
        faults.setRates(rates, 0);
    }
    const int count = deviceCount();
    std::vector<SimWorld::Member> members;
    for (int k = 0; k < count; ++k) {
        SimDevice::Identity identity = device.identity();
        identity.serialNumber += std::uint32_t(k);
        members.push_back({device, faults});
        members.back().device.setIdentity(identity);
    }
    return std::make_shared<SimWorld>(std::move(members));
}

std::unique_ptr<MidiService> createSimService(std::shared_ptr<SimWorld> world)
{
    return std::make_unique<SimMidiService>(std::move(world));
}

std::unique_ptr<MidiService> createSimServiceFromEnvironment()
{
    return createSimService(createSimWorldFromEnvironment());
}

