#!/usr/bin/env bash
# Checks that the C++ code is formatted, then builds everything and runs every test: the
# warnings-as-errors build with all tests (the whole-program ones under a virtual X display),
# the address-sanitizer build with the unit tests, the thread-sanitizer build with the tests of
# sessions on several threads, a bounded run of the parsers' fuzzers, the Debian package with a
# check of its contents, then the Windows build with its tests under wine and a check that its
# release repeats byte for byte.
source "$(dirname "$0")/setup.sh"

# iproute2: the tests that use the UDP ports or the instance lock bring up the loopback of a
# network namespace of their own (tests/support/own_network.sh).
ensure_packages "${TREVANE_PACKAGES[@]}" xvfb xauth xdotool x11-utils python3-xlib iproute2 \
    clang-format

cd "$TREVANE_ROOT"
status=0

echo "== format (clang-format, the repository's .clang-format)"
bash scripts/check_format.sh || status=1

echo "== build (warnings as errors)"
build_preset ci
echo "== tests"
# -noreset: otherwise Xvfb resets whenever its last client leaves and refuses new clients meanwhile.
xvfb-run -a -s "-noreset -screen 0 1024x768x24" ctest --preset ci -j2 || status=1

echo "== build (AddressSanitizer, UndefinedBehaviorSanitizer)"
build_preset asan
echo "== tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --preset asan -j2 || status=1

echo "== build (ThreadSanitizer)"
build_preset tsan
echo "== sessions on several threads under the sanitizer"
TSAN_OPTIONS=halt_on_error=1 ctest --preset tsan -j2 || status=1

echo "== bounded fuzzing of the input parsers"
bash scripts/fuzz.sh || status=1

echo "== Debian package: build it and check its contents"
bash scripts/package.sh || status=1

echo "== Windows build (mingw-w64) and its tests under wine"
bash scripts/windows.sh -j2 || status=1

exit $status
