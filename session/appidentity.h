#pragma once

#include <QLatin1String>

// Who the program is to QSettings and the desktop; shared by the window and
// the command line so that both read the same "language" setting.
namespace AppIdentity {

inline constexpr QLatin1String OrganisationName("Velmor");
inline constexpr QLatin1String OrganisationDomain("velmor.example");
inline constexpr QLatin1String ApplicationName("Qel_update");

// Sets the names above on the application; QSettings needs them first.
void apply();

} // namespace AppIdentity
