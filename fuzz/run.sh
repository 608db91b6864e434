#!/usr/bin/env bash
# Runs every libFuzzer target of a fuzz-preset build for a bounded time.
# Usage: fuzz/run.sh BUILD_DIR SECONDS
set -euo pipefail
build=$1
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
status=0
for source in "$here"/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    corpus="$here/corpus/$name"
    work=$(mktemp -d)
    echo "== $name for ${seconds}s"
    if ! (cd "$work" && "$build/fuzz/$name" -max_total_time="$seconds" -print_final_stats=1 "$work" "$corpus"); then
        echo "!! $name found a failure; see $work"
        status=1
    fi
done
exit $status
