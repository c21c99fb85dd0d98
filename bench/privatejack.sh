# Sourced by the JACK scripts of bench/: a scratch folder and a private JACK
# server (dummy driver, 48 kHz, period $period) named after the caller, both
# gone again on exit with every process started into $pids.
#   scratch, pids, period and the server name JACK_DEFAULT_SERVER come out.
scratch=$(mktemp -d)
export JACK_DEFAULT_SERVER=qel-$(basename "$0" .sh)-$$
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT

jackd --no-realtime -n "$JACK_DEFAULT_SERVER" -d dummy -r 48000 -p "$period" >"$scratch/jackd.log" 2>&1 &
pids+=($!)
until [ "$(jack_wait -s "$JACK_DEFAULT_SERVER" -c 2>/dev/null)" = running ]; do sleep 0.05; done
