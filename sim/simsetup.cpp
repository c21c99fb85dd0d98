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
const char SaveDirVariable[] = "QEL_SIM_SAVE_DIR";
const char ReadsVariable[] = "QEL_SIM_READS";

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

// "7,8,9,10" for every device, "2:7,8,9,10" for the second only; 0 when for all.
int factoryBadDevice(QString &blockList)
{
    const int colon = blockList.indexOf(QLatin1Char(':'));
    if (colon < 0)
        return 0;
    bool ok = false;
    const int device = blockList.left(colon).trimmed().toInt(&ok);
    blockList = blockList.mid(colon + 1);
    if (ok && device >= 1)
        return device;
    qCWarning(lcSimSetup) << FactoryBadVariable << "names no device before the colon";
    return 0;
}

// A new flash whose factory list names the blocks; empty: as shipped.
void setUpFlash(SimDevice &device, const QString &factoryBad)
{
    if (factoryBad.isEmpty()) {
        device.storeListCopies(1, {}, 0);
        return;
    }
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

} // namespace

std::shared_ptr<SimWorld> createSimWorldFromEnvironment()
{
    SimDevice device;
    QString factoryBad = qEnvironmentVariable(FactoryBadVariable);
    const int badDevice = factoryBadDevice(factoryBad);
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
    if (const QString reads = qEnvironmentVariable(ReadsVariable); !reads.isEmpty()) {
        if (const auto reach = SimDevice::reachNamed(reads.toStdString()))
            device.setReadReach(*reach);
        else
            qCWarning(lcSimSetup) << ReadsVariable << "must be whole, block0, block0-aliased or block0-silent, not"
                                  << reads;
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
        setUpFlash(members.back().device, badDevice == 0 || badDevice == k + 1 ? factoryBad : QString());
    }
    auto world = std::make_shared<SimWorld>(std::move(members));
    const QString saveDir = qEnvironmentVariable(SaveDirVariable);
    if (!saveDir.isEmpty())
        world->saveImagesAtEnd(saveDir);
    return world;
}

std::unique_ptr<MidiService> createSimService(std::shared_ptr<SimWorld> world)
{
    return std::make_unique<SimMidiService>(std::move(world));
}

std::unique_ptr<MidiService> createSimServiceFromEnvironment()
{
    return createSimService(createSimWorldFromEnvironment());
}

