#pragma once

#include <QLatin1String>

// Files built into the program.
namespace ResourcePaths {

inline constexpr QLatin1String FirmwareImage(":/data/resourcesNAND_FINAL109.bin");
inline constexpr QLatin1String DevicePicture(":/data/update_screen_qel_V1_09.png");
// Translation base names; QTranslator adds the ".qm".
inline constexpr QLatin1String AppTranslation(":/Charts/update_de");
inline constexpr QLatin1String QtTranslation(":/Charts/qt_de");

} // namespace ResourcePaths
