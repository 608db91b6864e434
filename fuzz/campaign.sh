#!/usr/bin/env bash
# A fuzz campaign: every libFuzzer target of a fuzz-preset build (ASan +
# UBSan) runs to a number of executions, one target at a time; the inputs it
# found are merged with its seed corpus into a minimised corpus that replaces
# fuzz/corpus/TARGET/.
# Usage: fuzz/campaign.sh BUILD_DIR [EXECUTIONS] [TARGET...]
#   EXECUTIONS  per target, default 10000000
#   TARGET      names of targets to run (default: every fuzz/fuzz_*.cpp)
# ZV_FUZZ_SECONDS, when set, also bounds each target's run in time: on a
# loaded machine the slow targets stop there, with their executions reported.
# Crash, leak, timeout and out-of-memory inputs are kept under
# $ZV_FUZZ_ARTIFACTS (default /tmp/zv_fuzz_artifacts)/TARGET/, outside the
# repository. Exit status 1 when any target found one (or is not built).
set -euo pipefail
build=$(cd "${1:?usage: fuzz/campaign.sh BUILD_DIR [EXECUTIONS] [TARGET...]}" && pwd)
executions=${2:-10000000}
shift $(($# < 2 ? $# : 2))
here=$(cd "$(dirname "$0")" && pwd)
artifacts=${ZV_FUZZ_ARTIFACTS:-/tmp/zv_fuzz_artifacts}

targets=("$@")
if ((${#targets[@]} == 0)); then
    for source in "$here"/fuzz_*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

# Throughput: the allocation and free stacks that ASan records for every
# block are cut to 2 frames (a report still gives the fault's own stack in
# full; replaying the kept input without these options gives the rest), and
# the targets' own notes on stdout and stderr are dropped (-close_fd_mask=3;
# libFuzzer and the sanitizers still report on their own descriptor).
# ASAN_OPTIONS set by the caller win.
export ASAN_OPTIONS=${ASAN_OPTIONS:-malloc_context_size=2}

# The failing inputs kept for a target: crashes, leaks, timeouts and
# out-of-memory runs. libFuzzer also keeps "slow units" (over 10 s), which on
# a loaded machine are mostly a starved process, not a fault: they stay in
# the folder for a look but do not fail the campaign.
failures() { find "$artifacts/$1" -type f ! -name 'slow-unit-*' | wc -l; }

status=0
printf '%-26s %12s %8s %10s %7s %7s\n' target executions seconds exec/s corpus crashes
for name in "${targets[@]}"; do
    target="$build/fuzz/$name"
    if [ ! -x "$target" ]; then
        echo "!! $name is not built in $build"
        status=1
        continue
    fi
    corpus="$here/corpus/$name"
    mkdir -p "$corpus" "$artifacts/$name"
    work=$(mktemp -d "/tmp/zv_campaign_$name.XXXXXX")
    mkdir "$work/new" "$work/merged"
    before=$(failures "$name")
    start=$(date +%s)
    # Targets may leave scratch files in their working folder: run in $work.
    # New inputs go to $work/new; the seed corpus is only read.
    limits=(-runs="$executions")
    [ -z "${ZV_FUZZ_SECONDS:-}" ] || limits+=(-max_total_time="$ZV_FUZZ_SECONDS")
    (cd "$work" && "$target" "${limits[@]}" -timeout=30 -close_fd_mask=3 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$name/" "$work/new" "$corpus") >"$work/log" 2>&1 || true
    seconds=$(($(date +%s) - start))
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
    # A crash ends the run before its statistics: take the last progress line.
    [ -n "$runs" ] || runs=$(grep -o '^#[0-9]*' "$work/log" | tail -n 1 | tr -d '#')
    runs=${runs:-0}
    crashes=$(($(failures "$name") - before))
    # The minimised union of the old corpus and the new inputs replaces the old.
    if (cd "$work" && "$target" -merge=1 -timeout=30 -close_fd_mask=3 "$work/merged" "$corpus" "$work/new") \
        >"$work/merge.log" 2>&1 && [ -n "$(ls -A "$work/merged")" ]; then
        rm -rf "$corpus"
        mv "$work/merged" "$corpus"
    else
        echo "!! $name: merge failed, corpus kept; see $work/merge.log"
        status=1
    fi
    files=$(find "$corpus" -type f | wc -l)
    printf '%-26s %12s %8s %10s %7s %7s\n' "$name" "$runs" "$seconds" \
        "$((runs / (seconds > 0 ? seconds : 1)))" "$files" "$crashes"
    if ((crashes > 0)); then
        grep -m 3 -E 'ERROR: |SUMMARY: |runtime error' "$work/log" || true
        echo "!! $name found $crashes failing input(s) in $artifacts/$name; log in $work/log"
        status=1
    else
        rm -rf "$work"
    fi
done
exit $status
