#!/bin/sh
# The Windows build: installs what it needs (Debian packages), cross-builds the "windows" preset
# (build/windows: one trevane.exe per product) and runs the Windows tests under wine, in a wine
# prefix of its own under build/windows, and on a virtual display when there is none.
#   scripts/windows.sh [ctest arguments...]
#   scripts/windows.sh --bench [runs]   a timed full update under wine against board-sim's
#                                       115200-baud line model, with its ratio to the wire time
#   scripts/windows.sh --wait-bench [runs [frames [bytes]]]
#                                       the port's waits alone: flash frames stop-and-wait
#                                       against the same line model, old and new wait styles
#   scripts/windows.sh --release        the release in build/windows/release/: the folder
#                                       trevane-<version>-windows-x64/, its zip and the installer
#                                       trevane-<version>-x64.msi, no tests; signed when
#                                       TREVANE_SIGN_CERT and TREVANE_SIGN_KEY are set
# The build is stamped with SOURCE_DATE_EPOCH, by default the time of the last commit, so that
# the executables tested are those released and a build repeats byte for byte. After the tests,
# the release is made twice, the second time with the stamped and linked parts made anew (the
# product data, the resources, the executables), and the two zips and the two installers must be
# the same bytes; then once signed with a throwaway certificate. Last, the installer is installed,
# upgraded and removed under wine.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

export WINEPREFIX="$root/build/windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

# The tests, on the display. Their wine server is a CTest fixture (tests/win32/wine_prefix.py); it is
# also ended here when the run is interrupted before the fixture's end.
run_tests() {
    trap 'wineserver -k 2>/dev/null || true' EXIT
    trap 'exit 1' INT TERM
    ctest --preset windows "$@"
}
if [ "${1:-}" = "--tests" ]; then
    shift
    run_tests "$@"
    exit $?
fi

missing=""
# wixl, python3-gi and gir1.2-libmsi-1.0 build the installer, osslsigncode signs the release;
# the tests check both with msitools and openssl.
for package in g++-mingw-w64-x86-64-posix wine wine64 xvfb xauth xdotool python3 cmake \
    ninja-build nlohmann-json3-dev iproute2 wixl python3-gi gir1.2-libmsi-1.0 osslsigncode \
    msitools openssl; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
if [ -n "$missing" ]; then
    echo "windows.sh: installing$missing"
    sudo=""
    [ "$(id -u)" = 0 ] || sudo=sudo
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get update -qq
    # shellcheck disable=SC2086
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq $missing
fi

# board-sim runs on this machine: the end-to-end tests under wine use a Linux build's.
board_sim=""
for build in ci dev package; do
    if [ -z "$board_sim" ] && [ -x "build/$build/bin/board-sim" ]; then
        board_sim="$root/build/$build/bin/board-sim"
    fi
done
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
cmake --preset windows -DTREVANE_BOARD_SIM="$board_sim"
if [ "${1:-}" = "--release" ]; then
    exec cmake --build --preset windows --target windows_release
fi
cmake --build --preset windows

# Xvfb with -noreset: otherwise it resets whenever its last client leaves and refuses new clients
# while it does.
xvfb="-noreset -screen 0 1280x1024x24"

if [ "${1:-}" = "--bench" ]; then
    shift
    [ -n "$board_sim" ] || { echo "windows.sh: the benchmark needs a Linux build's board-sim"; exit 1; }
    export TREVANE_BUILD_DIR="$root/build/windows" TREVANE_BOARD_SIM="$board_sim"
    export TREVANE_EMULATOR="$root/cmake/wine_run.sh" WINEPREFIX="$root/build/windows/wineprefix-e2e"
    cd tests/win32
    if [ -z "${DISPLAY:-}" ]; then
        exec xvfb-run -a -s "$xvfb" /usr/bin/python3 bench_wine.py "$@"
    fi
    exec /usr/bin/python3 bench_wine.py "$@"
fi
if [ "${1:-}" = "--wait-bench" ]; then
    shift
    [ -n "$board_sim" ] || { echo "windows.sh: the benchmark needs a Linux build's board-sim"; exit 1; }
    exec /usr/bin/python3 tests/win32/wait_bench.py "$board_sim" build/windows/bin/wait_bench.exe \
        "$root/build/windows/wineprefix-bench" "$@"
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "windows.sh: making the wine prefix $WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
fi
status=0
if [ -z "${DISPLAY:-}" ]; then
    xvfb-run -a -s "$xvfb" sh "$root/scripts/windows.sh" --tests "$@" || status=1
else
    (run_tests "$@") || status=1
fi

echo "== the release twice: the same bytes; then signed"
sh tests/win32/release_repeats.sh build/windows || status=1
echo "== the installer under wine: install, upgrade, remove"
setarch "$(uname -m)" -R /usr/bin/python3 tests/win32/msi_install.py build/windows || status=1
exit $status
