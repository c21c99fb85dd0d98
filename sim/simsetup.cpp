#include "simsetup.h"

#include "simmidiservice.h"

#include <QLoggingCategory>
#include <QStringList>

namespace {

Q_LOGGING_CATEGORY(lcSimSetup, "qel.sim")

const char FactoryBadVariable[] = "QEL_SIM_FACTORY_BAD";
const char VersionVariable[] = "QEL_SIM_VERSION";
const char SilentVariable[] = "QEL_SIM_SILENT";

} // namespace

std::unique_ptr<MidiService> createSimServiceFromEnvironment()
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
    return std::make_unique<SimMidiService>(std::move(device), std::move(faults));
}

