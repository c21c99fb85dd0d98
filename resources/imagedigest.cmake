# cmake -DIMAGE=<file> -DOUTPUT=<header> -P imagedigest.cmake
# Writes the header only when what it says changed, so that a regenerated but
# identical image recompiles nothing.
file(SHA256 "${IMAGE}" sha256)
file(SIZE "${IMAGE}" size)
file(CONFIGURE OUTPUT "${OUTPUT}" CONTENT [[
// Generated at build time from the firmware image that is built in.
#pragma once

namespace ImageDigest {
inline constexpr long long Size = @size@;
inline constexpr char Sha256[] = "@sha256@";
} // namespace ImageDigest
]] @ONLY)
