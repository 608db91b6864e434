#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz-preset build for a bounded time.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
# Absolute: each target runs in its own scratch folder.
build=$(cd "${1:?usage: fuzz/run.sh BUILD_DIR SECONDS}" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for source in "$here"/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    target="$build/fuzz/$name"
    if [ ! -x "$target" ]; then
        echo "!! $name is not built in $build"
        status=1
        continue
    fi
    seeds=()
    [ -d "$here/corpus/$name" ] && seeds=("$here/corpus/$name")
    work=$(mktemp -d)
    # New inputs go to the scratch folder; the seed corpus stays as it is.
    if (cd "$work" && "$target" -max_total_time="$seconds" -print_final_stats=1 "$work" "${seeds[@]}") \
        >"$work/log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
        echo "== $name: ${runs:-?} executions in ${seconds}s"
        rm -rf "$work"
    else
        tail -n 60 "$work/log"
        echo "!! $name found a failure; see $work"
        status=1
    fi
done
exit $status
