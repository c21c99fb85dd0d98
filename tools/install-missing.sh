#!/usr/bin/env bash
# Installs those of the named Debian packages that are missing, through sudo
# when not root; nothing when all are there. Shared by setup.sh and the checks.
#   tools/install-missing.sh PACKAGE...
set -euo pipefail
if ! command -v dpkg-query >/dev/null; then
    echo "Not a Debian system: install the equivalents of: $*" >&2
    exit 0
fi
missing=()
for p in "$@"; do
    if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
echo "Installing: ${missing[*]}"
# Another install (a second checkout's set-up, the system's own updates) may
# hold dpkg's lock for a while: wait for it rather than fail.
wait_lock=(-o DPkg::Lock::Timeout=600)
"${as_root[@]}" apt-get "${wait_lock[@]}" update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get "${wait_lock[@]}" install -y --no-install-recommends "${missing[@]}"
