#!/usr/bin/env bash
# Updating three Qels at once against updating one, over JACK: three
# qel-simulator devices on a private JACK server (dummy driver), the same
# image written once with --serial and once with --all. Prints both times and
# their ratio; the link, not the tool, should set the pace.
#   bench/jackall.sh BUILD_DIR [PERIOD] [PAGES]
set -euo pipefail
build=${1:?usage: $0 BUILD_DIR [PERIOD] [PAGES]}
period=${2:-64}
pages=${3:-128}
source "$(dirname "${BASH_SOURCE[0]}")/../tools/jack/privatejack.sh"
scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

for k in 1 2 3; do
    "$build/simulator/qel-simulator" --api jack --port-name "Qel $k" --serial $((1000 * k)) \
        >"$scratch/sim$k.log" 2>&1 &
    pids+=($!)
done
for k in 1 2 3; do
    until grep -q '^ready' "$scratch/sim$k.log" 2>/dev/null; do sleep 0.05; done
done
head -c $((pages * 2048)) "$build/resources/resourcesNAND_FINAL109.bin" >"$scratch/image.bin"

cli=("$build/cli/qel-update-cli" --api jack --yes --image "$scratch/image.bin")
run() {
    local start end
    start=$(date +%s.%N)
    "${cli[@]}" "$@" >"$scratch/out.log" 2>&1 || { cat "$scratch/out.log"; exit 1; }
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
one=$(run --serial 2000)
all=$(run --all)
awk -v p="$period" -v n="$pages" -v one="$one" -v all="$all" 'BEGIN {
    printf "JACK period %s, %s pages: one Qel %.2f s, three at once %.2f s, ratio %.2f (target at most 1.20)\n",
           p, n, one, all, all / one }'
