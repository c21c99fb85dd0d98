#!/usr/bin/env bash
# Takes the README's screenshots from the real updater on the simulated
# device, in English and in German, into docs/screenshots/.
#   tools/take-screenshots.sh [BUILD-DIR]     (default: build/)
# Needs no display: the window is drawn offscreen unless QT_QPA_PLATFORM says
# otherwise (e.g. QT_QPA_PLATFORM=xcb under xvfb-run).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${1:-$root/build}
out="$root/docs/screenshots"

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target qel-screenshots
mkdir -p "$out"

# The language comes from the updater's one setting, as at every start: each
# run gets a settings folder of its own, so the user's own file is untouched.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
mkdir -p "$config/de/Velmor" "$config/en/Velmor"
printf '[General]\nlanguage=1\n' >"$config/de/Velmor/Qel_update.conf"

for language in en de; do
    XDG_CONFIG_HOME="$config/$language" QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}" \
        "$build/tools/screenshots/qel-screenshots" "$out" "$language"
done
ls "$out"
