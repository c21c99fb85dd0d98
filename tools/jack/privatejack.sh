#!/usr/bin/env bash
# The one way we start a private JACK server (dummy driver, 48 kHz), for
# tests, benchmarks and scripts alike.
#
# Sourced, as the first thing a bash script does:
#     period=64 source tools/jack/privatejack.sh        (period: 2048 unless set)
#   The script is started again in a mount namespace of its own with a fresh
#   /dev/shm, where JACK keeps its registry of servers: a server killed hard
#   leaves its entry there for good, and after eight no server starts. Then
#   jackd starts and the script goes on once it runs.
#   Exports JACK_DEFAULT_SERVER (the server's name, qel-SCRIPT-PID), which
#   every JACK client the script starts finds it by, and
#   JACK_NO_AUDIO_RESERVATION=1. Sets private_jack_pid (jackd) and
#   private_jack_log (jackd's output, late cycles included). jackd gets
#   SIGTERM when the script ends; private_jack_stop stops it sooner.
#   Without the rights to unshare (not root) it says so on standard error
#   and uses the shared /dev/shm.
#
# Run:  privatejack.sh NAME PERIOD [realtime]
#   For a caller that has made /dev/shm private itself, as PrivateJackServer
#   does (its own JACK clients must see the server): starts jackd with its
#   output on standard output, prints "ready" once it runs, and stays until
#   SIGTERM, which it hands on to jackd.

# Starts jackd: NAME PERIOD REALTIME(realtime or empty) LOG; waits until it runs.
private_jack_start() {
    local rt=--no-realtime
    [ "$3" = realtime ] && rt=--realtime
    # A parent that dies takes its server along.
    setpriv --pdeathsig TERM jackd "$rt" -n "$1" -d dummy -r 48000 -p "$2" >>"$4" 2>&1 &
    private_jack_pid=$!
    # jack_wait -w checks only once a second.
    until [ "$(jack_wait -s "$1" -c 2>/dev/null)" = running ]; do
        if ! kill -0 "$private_jack_pid" 2>/dev/null; then
            echo "jackd -n $1 did not start" >&2
            return 1
        fi
        sleep 0.01
    done
}

private_jack_stop() {
    [ -n "${private_jack_pid:-}" ] || return 0
    kill -TERM "$private_jack_pid" 2>/dev/null || true
    wait "$private_jack_pid" 2>/dev/null || true
    private_jack_pid=
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -u
    [ $# -ge 2 ] || { echo "usage: $0 NAME PERIOD [realtime]" >&2; exit 2; }
    trap private_jack_stop TERM INT
    private_jack_start "$1" "$2" "${3:-}" /dev/stdout || exit 1
    echo ready
    # wait returns early when a trapped signal comes; the trap has then stopped jackd.
    wait "$private_jack_pid" 2>/dev/null || true
    exit 0
fi

if [ -z "${QEL_PRIVATE_SHM:-}" ]; then
    if unshare --mount --propagation private true 2>/dev/null; then
        QEL_PRIVATE_SHM=1 exec unshare --mount --propagation private -- "$BASH" "$0" "$@"
    fi
    echo "privatejack.sh: cannot make a private /dev/shm here; using the shared one" >&2
    QEL_PRIVATE_SHM=shared
elif [ "$QEL_PRIVATE_SHM" = 1 ]; then
    mount -t tmpfs -o mode=1777,nosuid,nodev tmpfs /dev/shm
    QEL_PRIVATE_SHM=mounted
fi
export JACK_DEFAULT_SERVER="qel-$(basename "$0" .sh)-$$"
export JACK_NO_AUDIO_RESERVATION=1
# In the private /dev/shm it goes with the namespace.
private_jack_log=$(mktemp -p /dev/shm qel-jackd.XXXXXX)
private_jack_start "$JACK_DEFAULT_SERVER" "${period:-2048}" "" "$private_jack_log"
