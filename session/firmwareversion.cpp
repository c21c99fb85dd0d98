#include "firmwareversion.h"

#include "texts.h"
#include "updateengine.h"

#include <QCoreApplication>

namespace {

constexpr std::uint32_t ByteMask = 0xFF;
constexpr int MinorShift = 8;

std::uint32_t majorOf(std::uint32_t word) { return word & ByteMask; }
std::uint32_t minorOf(std::uint32_t word) { return (word >> MinorShift) & ByteMask; }

} // namespace

std::uint32_t FirmwareVersion::carried()
{
    return std::uint32_t(UpdateEngine::ImageMajor) | (std::uint32_t(UpdateEngine::ImageMinor) << MinorShift);
}

QString FirmwareVersion::text(std::uint32_t word)
{
    return QString::asprintf("%ld.%02ld", long(majorOf(word)), long(minorOf(word)));
}

FirmwareVersion::Order FirmwareVersion::compareWithCarried(std::uint32_t word)
{
    const auto key = [](std::uint32_t w) { return majorOf(w) << MinorShift | minorOf(w); };
    const std::uint32_t device = key(word);
    const std::uint32_t ours = key(carried());
    if (device < ours)
        return Order::Older;
    return device == ours ? Order::Same : Order::Newer;
}

QString FirmwareVersion::verdict(std::uint32_t word)
{
    switch (compareWithCarried(word)) {
    case Order::Older:
        return Texts::tr("Firmware %1 is older than %2: an update is recommended.")
            .arg(text(word), text(carried()));
    case Order::Same:
        return Texts::tr("Firmware %1 is already up to date.").arg(text(word));
    case Order::Newer:
        break;
    }
    return QCoreApplication::translate("MainWindow",
                                       "Firmware %1 is newer than %2: updating would be a downgrade.")
        .arg(text(word), text(carried()));
}
