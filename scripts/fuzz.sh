#!/usr/bin/env bash
# Bounded fuzzing of the input parsers (reply receiver, HEX reader, settings file): builds the
# fuzz preset with clang and libFuzzer, replays the saved crash inputs under fuzz/regressions/,
# then runs each fuzzer from its seed corpus for a fixed time. Fails when any input crashes.
#   FUZZ_SECONDS  time per fuzzer, default 20
# New crash inputs are kept under build/fuzz/findings/.
source "$(dirname "$0")/setup.sh"

ensure_packages cmake ninja-build clang-14 libclang-rt-14-dev
build_preset fuzz

seconds=${FUZZ_SECONDS:-20}
bin="$TREVANE_ROOT/build/fuzz/fuzz"
findings="$TREVANE_ROOT/build/fuzz/findings"
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
status=0

for name in reply_receiver hex_reader settings_text; do
    fuzzer="$bin/${name}_fuzzer"
    regressions="$TREVANE_ROOT/fuzz/regressions/$name"
    options=(-timeout=10 -rss_limit_mb=2048 -max_len=4096)
    dict="$TREVANE_ROOT/fuzz/$name.dict"
    [ -f "$dict" ] && options+=(-dict="$dict")

    if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
        echo "== $name: replaying $(ls -A "$regressions" | wc -l) saved input(s)"
        if ! "$fuzzer" "${options[@]}" -runs=0 -artifact_prefix="$work/" "$regressions" \
            >"$work/$name.replay" 2>&1; then
            grep -E 'invariant broken|ERROR|SUMMARY|Running:' "$work/$name.replay" | tail -5
            echo "FAIL: a saved input of $name still crashes"
            status=1
        fi
    fi

    echo "== $name: fuzzing for ${seconds} s"
    mkdir -p "$work/$name/corpus" "$work/$name/out"
    if "$fuzzer" "${options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/$name/out/" "$work/$name/corpus" \
        "$TREVANE_ROOT/fuzz/corpus/$name" >"$work/$name.log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$name.log")
        cov=$(grep -o 'cov: [0-9]*' "$work/$name.log" | tail -1)
        echo "ok: $runs runs, $rate exec/s, $cov"
    else
        grep -E 'invariant broken|ERROR|SUMMARY' "$work/$name.log" | head -5
        mkdir -p "$findings/$name"
        for f in "$work/$name/out"/*; do
            [ -e "$f" ] || continue
            cp "$f" "$findings/$name/"
            echo "crash input: $findings/$name/$(basename "$f")"
        done
        echo "FAIL: $name found a crash (log tail below)"
        tail -20 "$work/$name.log"
        status=1
    fi
done

exit $status
