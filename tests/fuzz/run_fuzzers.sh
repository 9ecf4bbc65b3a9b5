#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build: first the kept regression inputs, then fuzzing from the
# starting corpus for the given number of seconds. Exits non-zero on any finding.
#
#   tests/fuzz/run_fuzzers.sh <fuzz build folder> [seconds per target] [target name...]
set -uo pipefail

build=${1:?usage: run_fuzzers.sh <fuzz build folder> [seconds] [target...]}
seconds=${2:-60}
shift $(( $# >= 2 ? 2 : $# ))
here=$(cd "$(dirname "$0")" && pwd)

# Undefined behaviour is a finding, not a warning; a stack says where it came from.
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for bin in "$build"/fuzz/*_fuzz; do
        [ -x "$bin" ] && targets+=("$(basename "$bin" _fuzz)")
    done
fi
if [ ${#targets[@]} -eq 0 ]; then
    echo "no fuzz targets in $build/fuzz" >&2
    exit 1
fi

failed=()
for name in "${targets[@]}"; do
    bin="$build/fuzz/${name}_fuzz"
    logs="$build/fuzz-logs"
    mkdir -p "$logs" "$build/fuzz-artifacts/$name" "$build/fuzz-corpus/$name"

    # Inputs that once broke a target stay here and are replayed every time.
    regressions=()
    if [ -d "$here/regressions/$name" ]; then
        while IFS= read -r -d '' file; do regressions+=("$file"); done \
            < <(find "$here/regressions/$name" -type f -print0 | sort -z)
    fi
    if [ ${#regressions[@]} -gt 0 ]; then
        if ! "$bin" "${regressions[@]}" >"$logs/$name-regressions.log" 2>&1; then
            echo "FAIL $name: a regression input still breaks it"
            grep -E 'Running:|ERROR|runtime error|property broken|#[0-9]+ 0x' \
                "$logs/$name-regressions.log" | head -40
            failed+=("$name(regressions)")
            continue
        fi
        echo "ok   $name: ${#regressions[@]} regression input(s) replayed"
    fi

    # New finds go to the build's own corpus; the committed starting inputs are only read.
    if "$bin" "$build/fuzz-corpus/$name" "$here/corpus/$name" \
        -max_total_time="$seconds" -timeout=25 -rss_limit_mb=3072 \
        -artifact_prefix="$build/fuzz-artifacts/$name/" -print_final_stats=1 \
        >"$logs/$name.log" 2>&1; then
        runs=$(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$logs/$name.log" | grep -o '[0-9]*$')
        echo "ok   $name: ${runs:-?} inputs in ${seconds}s"
    else
        echo "FAIL $name (log: $logs/$name.log)"
        grep -E 'ERROR|runtime error|property broken|#[0-9]+ 0x|Test unit written' \
            "$logs/$name.log" | head -40
        echo "Keep the input as tests/fuzz/regressions/$name/<name> once understood."
        failed+=("$name")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz findings in: ${failed[*]}"
    exit 1
fi
