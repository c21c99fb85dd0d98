#!/usr/bin/env bash
# Builds the Debian package from an existing build folder and checks it as a
# user would get it: what it holds, what it depends on, the desktop entry and
# the metainfo against their validators, lintian, and the installed programs
# run from an unpacked copy. Also compiles the Windows resource script.
#
#   packaging/check-package.sh [BUILD_DIR]     (default: build)
#
# Exit code 1 on the first failed check.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
app_id=example.velmor.QelUpdate

packages=(
    dpkg-dev file                # dpkg-shlibdeps, and how CPack finds the binaries to give it
    desktop-file-utils appstream lintian
    binutils-mingw-w64-x86-64 cpp icoutils
)

install_missing() {
    "$root/tools/install-missing.sh" "${packages[@]}"
}

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

install_missing

echo "== Building the package"
cmake --build "$build" --parallel 2 --target qel-update qel-update-cli qel-simulator qel_install_files qel_web_page
rm -f "$build"/qel-update_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/qel-update_*.deb)
[ -f "${debs[0]}" ] || { echo "FAIL: cpack wrote no qel-update_*.deb" >&2; exit 1; }
deb=${debs[0]}
echo "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg -x "$deb" "$scratch/root"
usr=$scratch/root/usr

echo "== Contents"
expected=(
    bin/qel-update bin/qel-update-cli bin/qel-simulator
    share/applications/$app_id.desktop
    share/metainfo/$app_id.metainfo.xml
    share/icons/hicolor/scalable/apps/$app_id.svg
    share/man/man1/qel-update.1.gz share/man/man1/qel-update-cli.1.gz share/man/man1/qel-simulator.1.gz
    share/doc/qel-update/copyright share/doc/qel-update/changelog.gz
    share/qel-update/web/index.html share/qel-update/web/qelcore.js
)
for size in 16 32 48 64 128 256; do
    expected+=("share/icons/hicolor/${size}x$size/apps/$app_id.png")
done
for f in "${expected[@]}"; do
    [ -f "$usr/$f" ] || fail "missing from the package: /usr/$f"
done
for size in 16 32 48 64 128 256; do
    png=$usr/share/icons/hicolor/${size}x$size/apps/$app_id.png
    if [ -f "$png" ] && [[ "$(file -b "$png")" != "PNG image data, $size x $size,"* ]]; then
        fail "$png is not a $size x $size PNG: $(file -b "$png")"
    fi
done
# Only what a user runs or reads: no test programs, no static libraries,
# nothing outside bin/ and share/.
unexpected=$(dpkg-deb -c "$deb" | awk '{print $6}' |
    grep -vE '^\./usr/(bin|share)(/|$)|^\./$|^\./usr/$' || true)
[ -z "$unexpected" ] || fail "outside /usr/bin and /usr/share: $unexpected"
stray=$(find "$scratch/root" \( -name '*.a' -o -name 'tst_*' -o -name '*.so*' \) -print)
[ -z "$stray" ] || fail "not for installing: $stray"

echo "== Dependencies"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Computed by dpkg-shlibdeps from the binaries; without it there would be none.
for lib in libc6 libqt6core6 libqt6gui6 libqt6widgets6 librtmidi6; do
    grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends lacks $lib"
done

echo "== Desktop entry and metainfo"
# Its hints (a category that wants another, no main category) count too.
desktop_log=$(desktop-file-validate "$usr/share/applications/$app_id.desktop" 2>&1) || true
[ -z "$desktop_log" ] || fail "desktop-file-validate: $desktop_log"
# The screenshots are on the project site, which a build machine need not reach.
appstreamcli validate --no-net "$usr/share/metainfo/$app_id.metainfo.xml" || fail "appstreamcli validate"
grep -q "<release version=\"1.09\"" "$usr/share/metainfo/$app_id.metainfo.xml" ||
    fail "metainfo names no release 1.09"

echo "== lintian"
# Exit code 2: a tag at error level; 1: lintian did not run.
status=0
lintian --fail-on error --display-info "$deb" >"$scratch/lintian.log" 2>&1 || status=$?
grep -E '^[EWIP]:' "$scratch/lintian.log" || echo "(no tags)"
case $status in
0) ;;
2) fail "lintian reports errors" ;;
*) fail "lintian did not run ($status): $(cat "$scratch/lintian.log")" ;;
esac

echo "== The installed programs"
run_env=(env -u LD_LIBRARY_PATH -u QEL_MIDI_API -u QEL_SIM_FACTORY_BAD -u QEL_SIM_VERSION -u QEL_SIM_SILENT
         QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$scratch/config")
status=0
"${run_env[@]}" "$usr/bin/qel-update-cli" --sim --yes </dev/null >"$scratch/cli.log" 2>&1 || status=$?
tail -n 2 "$scratch/cli.log"
[ "$status" -eq 0 ] || fail "installed qel-update-cli --sim --yes exited with $status"
status=0
"${run_env[@]}" "$usr/bin/qel-simulator" --help >/dev/null || status=$?
[ "$status" -eq 0 ] || fail "installed qel-simulator --help exited with $status"
# The window has no way to finish on its own: alive after 5 s means it started.
status=0
"${run_env[@]}" QEL_MIDI_API=sim timeout 5 "$usr/bin/qel-update" </dev/null >"$scratch/window.log" 2>&1 || status=$?
[ "$status" -eq 124 ] || fail "installed qel-update ended within 5 s with $status: $(cat "$scratch/window.log")"

echo "== Windows resources"
"$root/packaging/windows/make-ico.sh" "$build" "$scratch/fresh.ico"
cmp -s "$scratch/fresh.ico" "$root/packaging/windows/qel-update.ico" ||
    fail "packaging/windows/qel-update.ico is older than the icon: run packaging/windows/make-ico.sh"
# windres would run the MinGW C compiler as preprocessor; the resource script
# needs none of its headers, so the host's preprocessor does.
rc_object=$scratch/qel-update-rc.o
if x86_64-w64-mingw32-windres --preprocessor=cpp "$root/packaging/windows/qel-update.rc" -O coff -o "$rc_object"; then
    listing=$(x86_64-w64-mingw32-windres -J coff -i "$rc_object" -O rc)
    grep -A2 'Type: group icon' <<<"$listing" | grep 'Name: "IDI_ICON1"' >/dev/null || fail "no icon group IDI_ICON1"
    [ "$(grep -c 'RT_ICON' <<<"$listing")" -eq 5 ] || fail "the icon group should hold 5 sizes"
    grep -q '^1 24 /\* RT_MANIFEST \*/' <<<"$listing" || fail "no manifest resource 1"
    grep -aq 'Microsoft.Windows.Common-Controls' "$rc_object" || fail "the manifest asks for no common controls"
else
    fail "windres could not compile packaging/windows/qel-update.rc"
fi

if [ "$failures" -gt 0 ]; then
    echo "Package checks: $failures failed" >&2
    exit 1
fi
echo "Package checks passed: $deb"
