#!/usr/bin/env bash
# Installs the package with apt-get into a minimal Debian 12 made by
# debootstrap, so that only what the package depends on is there, then runs
# qel-update-cli --sim --yes and starts the window (offscreen) inside it.
# Needs root and the Debian mirror.
#
#   packaging/check-clean-install.sh [PACKAGE.deb]   (default: build/qel-update_*.deb)
#
# QEL_DEBIAN_MIRROR chooses the mirror (default http://deb.debian.org/debian).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ $# -ge 1 ]; then
    deb=$1
else
    debs=("$root"/build/qel-update_*.deb)
    deb=${debs[0]}
fi
[ -f "$deb" ] || { echo "no package: $deb (run packaging/check-package.sh first)" >&2; exit 2; }
[ "$(id -u)" -eq 0 ] || { echo "$0: needs root for debootstrap and chroot" >&2; exit 2; }
mirror=${QEL_DEBIAN_MIRROR:-http://deb.debian.org/debian}

if ! command -v debootstrap >/dev/null; then
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends debootstrap
fi

target=$(mktemp -d)
cleanup() {
    umount "$target/proc" 2>/dev/null || true
    rm -rf "$target"
}
trap cleanup EXIT

echo "== Debian 12 (minbase) into $target"
debootstrap --variant=minbase bookworm "$target" "$mirror" >"$target.debootstrap.log" 2>&1 ||
    { cat "$target.debootstrap.log" >&2; rm -f "$target.debootstrap.log"; exit 1; }
rm -f "$target.debootstrap.log"
mount -t proc proc "$target/proc"
cp "$deb" "$target/tmp/"
name=$(basename "$deb")

echo "== apt-get install ./$name, without recommended packages"
chroot "$target" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin DEBIAN_FRONTEND=noninteractive \
    sh -c "apt-get update -q >/dev/null && cd /tmp && apt-get install -y -q --no-install-recommends ./$name >/tmp/install.log 2>&1 || { cat /tmp/install.log; exit 1; }"

echo "== qel-update-cli --sim --yes"
in_root=(chroot "$target" env -i PATH=/usr/bin:/bin HOME=/root QT_QPA_PLATFORM=offscreen)
status=0
"${in_root[@]}" qel-update-cli --sim --yes </dev/null || status=$?
if [ "$status" -ne 0 ]; then
    echo "FAIL: qel-update-cli --sim --yes exited with $status" >&2
    exit 1
fi

echo "== qel-update, offscreen, for 5 s"
status=0
"${in_root[@]}" QEL_MIDI_API=sim timeout 5 qel-update </dev/null >/dev/null 2>&1 || status=$?
if [ "$status" -ne 124 ]; then
    echo "FAIL: qel-update ended within 5 s with $status" >&2
    exit 1
fi
echo "Clean install checked: $name"
