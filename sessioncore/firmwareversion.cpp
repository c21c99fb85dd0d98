#include "firmwareversion.h"

#include "translatenoop.h"
#include "updateengine.h"

#include <cstdio>

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

std::string FirmwareVersion::text(std::uint32_t word)
{
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%u.%02u", unsigned(majorOf(word)), unsigned(minorOf(word)));
    return buffer;
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

Phrase FirmwareVersion::verdict(std::uint32_t word)
{
    const Phrase device = Phrase::plain(text(word));
    const Phrase ours = Phrase::plain(text(carried()));
    switch (compareWithCarried(word)) {
    case Order::Older:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "Firmware %1 is older than %2: an update is recommended."),
                            {device, ours});
    case Order::Same:
        return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "Firmware %1 is already up to date."), {device});
    case Order::Newer:
        break;
    }
    return Phrase::text(QT_TRANSLATE_NOOP("MainWindow", "Firmware %1 is newer than %2: updating would be a downgrade."),
                        {device, ours});
}
