#!/usr/bin/env bash
# Installs whatever is missing, builds into build/, then
#   ./setup.sh run    starts the updater
#   ./setup.sh test   runs every test (exit code: ctest's)
#   ./setup.sh bench [options]   builds the benchmarks in Release into
#                     build-bench/ and runs them; options go to qel_bench_update
#   ./setup.sh web    builds the browser's page into build/web/ and serves it
#                     on http://127.0.0.1:8309 (QEL_WEB_PORT chooses another)
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
build="$root/build"

# Debian 12 packages. qt6-tools-dev brings the LinguistTools CMake package,
# qt6-l10n-tools lrelease, qt6-translations-l10n Qt's own German catalogue;
# jackd2 lets the JACK tests start a private server; the fonts draw the
# window's texts in offscreen tests; librsvg2-bin renders the desktop icon
# and help2man writes the manual pages from --help; doctest-dev is the test
# framework of the plain C++ core's own tests (tests/core); emscripten
# builds the core for the browser's page, nodejs runs its build steps and
# serves it.
packages=(
    cmake ninja-build g++ pkg-config doctest-dev
    qt6-base-dev qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n
    librtmidi-dev libgl-dev
    jackd2
    fonts-dejavu-core
    librsvg2-bin help2man
    emscripten nodejs
)

# The page's tests run in Debian's Chromium (chromium-driver for anyone who
# drives it through WebDriver), from node; their npm packages are pinned in
# tests/browser/package-lock.json and bring no browser of their own.
test_packages=(chromium chromium-driver)

# Only the benchmarks need Google Benchmark.
bench_packages=(libbenchmark-dev)

usage() {
    echo "usage: $0 run|test|web|bench [bench options]" >&2
    exit 2
}

install_missing() {
    "$root/tools/install-missing.sh" "${packages[@]}"
}

configure() {
    cmake -S "$root" -B "$build" -G Ninja
}

build_all() {
    configure
    cmake --build "$build" --parallel "$(nproc)"
}

# The browser tests' npm packages, exactly as locked. Debian's own nodejs
# comes without npm, which is a package of its own there.
browser_test_modules() {
    command -v npm >/dev/null || "$root/tools/install-missing.sh" npm
    (cd "$root/tests/browser" && npm ci --no-audit --no-fund --loglevel=error)
}

[ $# -ge 1 ] || usage
[ "$1" = bench ] || [ $# -eq 1 ] || usage
case "$1" in
run)
    install_missing
    # Only the window and what it links: the tests can wait for ./setup.sh test.
    configure
    cmake --build "$build" --parallel "$(nproc)" --target qel-update
    # Without an ALSA sequencer there is no MIDI hardware to reach: use the
    # simulated device unless the user chose a MIDI API.
    if [ -z "${QEL_MIDI_API:-}" ] && [ ! -e /dev/snd/seq ]; then
        echo "No MIDI hardware found: starting on the simulated device (QEL_MIDI_API=sim)."
        export QEL_MIDI_API=sim
    fi
    if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
        echo "No display found: the window needs one (or QT_QPA_PLATFORM=offscreen, or xvfb-run)." >&2
    fi
    exec "$build/app/qel-update"
    ;;
test)
    packages+=("${test_packages[@]}")
    install_missing
    browser_test_modules
    build_all
    exec ctest --test-dir "$build" --output-on-failure
    ;;
web)
    install_missing
    configure
    if ! cmake --build "$build" --parallel "$(nproc)" --target qel_web_page || [ ! -f "$build/web/index.html" ]; then
        echo "The page was not built: it needs Emscripten and node (emscripten, nodejs)." >&2
        exit 1
    fi
    exec node "$root/web/serve.js" "$build/web"
    ;;
bench)
    shift
    packages+=("${bench_packages[@]}")
    install_missing
    bench_build="$root/build-bench"
    cmake -S "$root" -B "$bench_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQEL_BUILD_BENCH=ON
    cmake --build "$bench_build" --parallel "$(nproc)" \
        --target qel_bench_codec qel_bench_update qel_bench_window qel_bench_losssweep
    "$bench_build/bench/qel_bench_codec"
    "$bench_build/bench/qel_bench_update" "$@"
    QT_QPA_PLATFORM=offscreen "$bench_build/bench/qel_bench_window" --jack 64 --pages 128 --pairs 3
    "$bench_build/bench/qel_bench_losssweep"
    ;;
*)
    usage
    ;;
esac
