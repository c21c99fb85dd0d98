#!/usr/bin/env bash
# Writes qel-update.ico from the icon PNGs a Linux build renders from
# icons/qel-update.svg:   packaging/windows/make-ico.sh [BUILD_DIR] [OUTPUT]
# Run it after changing the SVG and commit the result: a Windows build has
# no renderer for the SVG. The 256-pixel image goes in as PNG, as Windows
# expects for that size.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build=${1:-$here/../../build}
output=${2:-$here/qel-update.ico}
icons=$build/packaging/icons
name=example.velmor.QelUpdate.png
icotool --create --output="$output" \
    "$icons/16/$name" "$icons/32/$name" "$icons/48/$name" "$icons/64/$name" \
    --raw="$icons/256/$name"
