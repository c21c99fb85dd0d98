#pragma once

#include "phrase.h"

#include <cstdint>
#include <string>

// The device's firmware version word (low byte major, high byte minor) and
// how it stands against the version this tool carries.
namespace FirmwareVersion {

enum class Order { Older, Same, Newer };

// The carried version as the device reports one: 1.09 is 0x0901.
std::uint32_t carried();
// "1.09": the major number, a point, the minor number with two digits.
std::string text(std::uint32_t word);
Order compareWithCarried(std::uint32_t word);
// One sentence for the user on what an update would do to this device.
Phrase verdict(std::uint32_t word);

} // namespace FirmwareVersion
