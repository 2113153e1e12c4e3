#!/usr/bin/env bash
# Bounded fuzzing of the input parsers (reply receiver, HEX reader, settings file): builds the
# fuzz preset with clang and libFuzzer, then runs each fuzzer for a fixed time. Each run first
# replays every input of the committed corpus (fuzz/corpus/<target>/) and of the working corpus
# (build/fuzz/corpus/<target>/), then fuzzes, adding what it finds to the working corpus, which
# is kept between runs. Fails when any input crashes; a crash input is copied to
# build/fuzz/findings/<target>/.
#   FUZZ_SECONDS  time per fuzzer, default 20
#
#   scripts/fuzz.sh --minimize   rewrites fuzz/corpus/<target>/ as the smallest set of inputs,
#                                from the committed and the working corpus, that reaches every
#                                edge they reach (libFuzzer -merge=1); named inputs are kept
source "$(dirname "$0")/setup.sh"

ensure_packages cmake ninja-build clang-14 libclang-rt-14-dev nlohmann-json3-dev
build_preset fuzz

seconds=${FUZZ_SECONDS:-20}
bin="$TREVANE_ROOT/build/fuzz/fuzz"
findings="$TREVANE_ROOT/build/fuzz/findings"
targets=(reply_receiver hex_reader settings_text)
work=$(mktemp -d "${TMPDIR:-/tmp}/trevane-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT

set_options() { # TARGET: sets opts to the options every run of that fuzzer gets
    opts=(-timeout=10 -rss_limit_mb=2048 -max_len=4096)
    local dict="$TREVANE_ROOT/fuzz/$1.dict"
    if [ -f "$dict" ]; then opts+=(-dict="$dict"); fi
}

if [ "${1:-}" = "--minimize" ]; then
    for name in "${targets[@]}"; do
        committed="$TREVANE_ROOT/fuzz/corpus/$name"
        working="$TREVANE_ROOT/build/fuzz/corpus/$name"
        mkdir -p "$work/$name" "$working"
        # Inputs named by hand (not by their SHA-1) go first, so that the merge keeps them.
        for f in "$committed"/*; do
            [[ "$(basename "$f")" =~ ^[0-9a-f]{40}$ ]] || cp "$f" "$work/$name/"
        done
        # Edges only (-use_counters=0): hit counts would keep hundreds of inputs for little.
        set_options "$name"
        "$bin/${name}_fuzzer" "${opts[@]}" -use_counters=0 -merge=1 "$work/$name" \
            "$committed" "$working" >"$work/$name.merge" 2>&1 ||
            { tail -20 "$work/$name.merge"; exit 1; }
        rm -rf "$committed"
        cp -r "$work/$name" "$committed"
        echo "$name: $(ls "$committed" | wc -l) inputs in fuzz/corpus/$name"
    done
    exit 0
fi

status=0
for name in "${targets[@]}"; do
    fuzzer="$bin/${name}_fuzzer"
    working="$TREVANE_ROOT/build/fuzz/corpus/$name"
    mkdir -p "$working" "$work/$name"

    echo "== $name: fuzzing for ${seconds} s"
    # New inputs go to the first folder, the working corpus; the committed one is only read.
    set_options "$name"
    if "$fuzzer" "${opts[@]}" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$work/$name/" "$working" "$TREVANE_ROOT/fuzz/corpus/$name" \
        >"$work/$name.log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
        rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/$name.log")
        cov=$(grep -o 'cov: [0-9]*' "$work/$name.log" | tail -1)
        echo "ok: $runs runs, $rate exec/s, $cov, working corpus $(ls "$working" | wc -l) inputs"
    else
        grep -E 'invariant broken|ERROR|SUMMARY' "$work/$name.log" | head -5
        mkdir -p "$findings/$name"
        for f in "$work/$name"/*; do
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
