#!/usr/bin/env bash
# Many short updates over JACK against a simulated Qel that loses messages
# (and on request duplicates and delays them), by turns from qel-update-cli
# (which finds the Qel by asking on every port pair) and from the window
# (offscreen, qel-soak-window), with whatever build is given: an ASan+UBSan
# or a TSan one makes every memory or threading fault a report. Each update
# gets a JACK server (dummy driver) of its own, the periods taken in turn.
# The script runs in a mount namespace of its own with a private /dev/shm
# (tools/jack/privatejack.sh), so no JACK entry is left in the real one.
#
# Fails on a crash, a sanitizer report or an update that hung. An update that
# ends with a message (loss made the device look silent) is counted, not
# failed: telling the user is what it must do. What the simulator counts as
# the updater's violations is shown and counted; the fault campaign is where
# they fail.
#
#   tools/soak/jacksoak.sh BUILD_DIR [COUNT]        (COUNT defaults to 4)
#   SOAK_LOSE=0.01 SOAK_DUPLICATE=0 SOAK_LATE=0 SOAK_LATE_MS=200
#   SOAK_PAGES=24 SOAK_PERIODS="64 128 256" SOAK_SEED=1 SOAK_KEEP=DIR (keep the logs)
# Under TSan run it with setarch "$(uname -m)" -R, as .ci/instrumented does.
# A private /dev/shm and a JACK server: the project's one launcher, first of all.
read -r -a periods <<<"${SOAK_PERIODS:-64 128 256}"
period=${periods[0]} source "$(dirname "${BASH_SOURCE[0]}")/../jack/privatejack.sh"
set -euo pipefail
build=$(cd "${1:?usage: $0 BUILD_DIR [COUNT]}" && pwd)
count=${2:-4}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

lose=${SOAK_LOSE:-0.01}
duplicate=${SOAK_DUPLICATE:-0}
late=${SOAK_LATE:-0}
late_ms=${SOAK_LATE_MS:-200}
pages=${SOAK_PAGES:-24}
seed=${SOAK_SEED:-1}
run_seconds=600

scratch=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    private_jack_stop
    wait 2>/dev/null || true
    if [ -n "${SOAK_KEEP:-}" ]; then
        mkdir -p "$SOAK_KEEP" && cp -r "$scratch"/. "$SOAK_KEEP"/
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

# Each update gets a server of its own, at its period.
start_jack() {  # PERIOD LOG
    private_jack_stop
    private_jack_start "$JACK_DEFAULT_SERVER" "$1" "" "$2"
}

# Every sanitizer writes its report to a file of its own; none may appear.
export ASAN_OPTIONS="detect_leaks=1:halt_on_error=1:exitcode=66:log_path=$scratch/report"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=66:log_path=$scratch/report"
export TSAN_OPTIONS="halt_on_error=0:second_deadlock_stack=1:suppressions=$here/tsan.supp:log_path=$scratch/report"
export QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config" QEL_MIDI_API=jack

head -c $((pages * 2048)) "$build/resources/resourcesNAND_FINAL109.bin" >"$scratch/image.bin"

succeeded=0 told=0 crashed=0 hung=0 violations=0 reports_before=0
for ((k = 1; k <= count; k++)); do
    period=${periods[$(((k - 1) % ${#periods[@]}))]}
    view=$([ $((k % 2)) -eq 1 ] && echo cli || echo window)
    log="$scratch/run$k"
    start_jack "$period" "$log.jackd"
    "$build/simulator/qel-simulator" --api jack --port-name "Soak" --seed $((seed + k)) \
        --lose "$lose" --duplicate "$duplicate" --late "$late" --late-delay "$late_ms" >"$log.sim" 2>&1 &
    sim_pid=$!
    pids+=("$sim_pid")
    until grep -q '^ready' "$log.sim" 2>/dev/null; do
        kill -0 "$sim_pid" 2>/dev/null || { cat "$log.sim"; echo "run $k: the simulator did not start" >&2; exit 1; }
        sleep 0.02
    done

    started=$(date +%s.%N)
    status=0
    if [ "$view" = cli ]; then
        # JSON carries the trace lines, so that what the loss caused can be counted.
        timeout -k 10 "$run_seconds" "$build/cli/qel-update-cli" --api jack --yes --json --image "$scratch/image.bin" \
            >"$log.out" 2>&1 || status=$?
    else
        timeout -k 10 "$run_seconds" "$build/tools/soak/qel-soak-window" Soak "$scratch/image.bin" \
            >"$log.out" 2>&1 || status=$?
    fi
    seconds=$(awk -v a="$started" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')

    kill -TERM "$sim_pid" 2>/dev/null || true
    sim_status=0
    wait "$sim_pid" || sim_status=$?
    private_jack_stop

    verdict=
    case $status in
        0) succeeded=$((succeeded + 1)); verdict=written ;;
        1 | 3) told=$((told + 1)); verdict="ended with a message" ;;
        124 | 137) hung=$((hung + 1)); verdict=HUNG ;;
        *) crashed=$((crashed + 1)); verdict="CRASHED (exit $status)" ;;
    esac
    if [ "$sim_status" -ne 0 ]; then
        crashed=$((crashed + 1)); verdict="$verdict; SIMULATOR CRASHED (exit $sim_status)"
    fi
    if grep -q '^!!' "$log.sim"; then
        violations=$((violations + 1)); verdict="$verdict; the simulator saw: $(grep -m1 '^!!' "$log.sim")"
    fi
    reports=$(find "$scratch" -maxdepth 1 -name 'report.*' | wc -l)
    if [ "$reports" -gt "$reports_before" ]; then
        verdict="$verdict; $((reports - reports_before)) SANITIZER REPORT(S)"
        reports_before=$reports
    fi
    echo "run $k: $view, period $period, $seconds s: $verdict"
    case $verdict in
        *CRASHED* | *HUNG* | *REPORT*) tail -n 5 "$log.out" | sed 's/^/    /' ;;
        *) tail -n 1 "$log.out" | sed 's/^/    /' ;;
    esac
done

reports=$(find "$scratch" -maxdepth 1 -name 'report.*' | wc -l)
asked=$(cat "$scratch"/run*.out | grep -c 'asking again' || true)
blocks=$(cat "$scratch"/run*.out | grep -c 'write block [0-9]* again' || true)
for report in "$scratch"/report.*; do
    [ -e "$report" ] || continue
    echo "== $report"
    head -n 40 "$report"
done
echo "$count updates over JACK (loss $lose, duplicates $duplicate, late $late): $succeeded written," \
     "$told ended with a message; $crashed crashed, $reports sanitizer reports, $violations with violations, $hung hung;" \
     "in the CLI's: $asked answers asked again, $blocks blocks written again"
[ "$crashed" -eq 0 ] && [ "$reports" -eq 0 ] && [ "$hung" -eq 0 ]
