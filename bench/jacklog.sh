#!/usr/bin/env bash
# What the JACK server says about the updater's client during an update: a
# private server (dummy driver), one qel-simulator, the image written with
# qel-update-cli. Prints the update's time and how many of the server's
# late-cycle reports name our client. Works with any build, so that two
# versions can be set side by side.
#   bench/jacklog.sh BUILD_DIR [PERIOD] [PAGES]     (PAGES 0: the whole image)
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [PERIOD] [PAGES]}
period=${2:-64}
pages=${3:-0}
source "$(dirname "${BASH_SOURCE[0]}")/../tools/jack/privatejack.sh"
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
"$build/simulator/qel-simulator" --api jack --port-name "Qel 1" >"$scratch/sim.log" 2>&1 &
pids+=($!)
until grep -q '^ready' "$scratch/sim.log" 2>/dev/null; do sleep 0.05; done

image="$build/resources/resourcesNAND_FINAL109.bin"
if [ "$pages" -gt 0 ]; then
    head -c $((pages * 2048)) "$image" >"$scratch/image.bin"
    image="$scratch/image.bin"
fi
before=$(wc -l <"$private_jack_log")
start=$(date +%s.%N)
"$build/cli/qel-update-cli" --api jack --yes --image "$image" >"$scratch/out.log" 2>&1 || { cat "$scratch/out.log"; exit 1; }
end=$(date +%s.%N)
tail -n +"$((before + 1))" "$private_jack_log" >"$scratch/during.log"
late=$(grep -c 'XRun\|not finished' "$scratch/during.log" || true)
ours=$(grep -c 'Qel update.*not finished\|not finished.*Qel update' "$scratch/during.log" || true)
awk -v p="$period" -v n="$pages" -v a="$start" -v b="$end" -v late="$late" -v ours="$ours" 'BEGIN {
    printf "JACK period %s, %s: %.1f s; late-cycle lines %s, of them naming Qel update as not finished: %s\n",
           p, (n > 0 ? n " pages" : "whole image"), b - a, late, ours }'
grep 'not finished' "$scratch/during.log" | sort | uniq -c | sort -rn | head -n 5 || true
