#!/usr/bin/env bash
# Fails when a source file includes a header from a layer it may not depend
# on, or when the plain C++ core includes a Qt header. Usage: checklayers.sh [TREE]
set -euo pipefail
cd "${1:-$(dirname "${BASH_SOURCE[0]}")/../..}"

# What each folder may include besides itself. "rtmidi" is the operating
# system's MIDI; services/ alone chooses between it and the simulated device.
declare -A allowed=(
    [protocol]=""
    [engine]="protocol"
    [device]="protocol"
    [sessioncore]="engine protocol"
    [web]="sessioncore engine device protocol"
    [midi]=""
    [sim]="device protocol midi"
    [session]="sessioncore engine protocol midi"
    [services]="midi sim device rtmidi"
    [app]="session sessioncore engine protocol midi services"
    [cli]="session sessioncore engine protocol midi services"
    [rtmidi]="midi"
)
plainCore=(protocol engine device sessioncore web)

declare -A owner=()
for dir in "${!allowed[@]}"; do
    [ "$dir" = rtmidi ] && continue
    for header in "$dir"/*.h; do
        [ -e "$header" ] && owner[$(basename "$header")]=$dir
    done
done
for header in rtmidiservice.h jackserverwatch.h; do
    [ -n "${owner[$header]:-}" ] && owner[$header]=rtmidi
done

status=0
for folder in "${!allowed[@]}"; do
    for file in "$folder"/*.h "$folder"/*.cpp; do
        [ -e "$file" ] || continue
        base=$(basename "$file")
        dir=${owner[${base%.*}.h]:-$folder}
        while IFS= read -r included; do
            layer=${owner[$included]:-}
            # Headers of no layer: generated ones (the form) and the libraries'.
            [ -z "$layer" ] || [ "$layer" = "$dir" ] && continue
            case " ${allowed[$dir]} " in
            *" $layer "*) ;;
            *) echo "$file includes $included, which belongs to $layer/"; status=1 ;;
            esac
        done < <(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([^"]*\)".*/\1/p' "$file")
        if [[ " ${plainCore[*]} " == *" $folder "* ]] && grep -Eq '^[[:space:]]*#[[:space:]]*include[[:space:]]*<Q' "$file"; then
            echo "$file includes a Qt header, but $folder/ is plain C++"
            status=1
        fi
    done
done
[ $status -eq 0 ] && echo "layers hold"
exit $status
