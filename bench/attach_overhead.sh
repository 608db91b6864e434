#!/usr/bin/env bash
# The cost of the instrumented calls when the agent is attached to a running
# VM (zvtool attach; no context field in Thread, each thread's context found
# in a table by thread) against a start with -agentpath (the field) and no
# agent: the median time of a recursive kernel's rounds, warm, in each of
# the three; runs alternate. The profiler is off (Eprofiler.enabled=false):
# only the instrumentation is measured.
# Usage: bench/attach_overhead.sh BUILD_DIR [RUNS]   (JAVA names the java program)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
runs=${2:-3}
java=${JAVA:-java}
agent=$build/zenva/lib/libr2orar.so
zvtool=$build/tools/zvtool
[ -f "$agent" ] && [ -x "$zvtool" ] || { echo "attach_overhead.sh: build $build first" >&2; exit 1; }
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_attach.XXXXXX")
trap 'rm -rf "$work"' EXIT
"${JAVAC:-javac}" -d "$work/classes" "$here/java/AttachRounds.java"
rounds=300

for run in $(seq "$runs"); do
    rm -f "$work/attached"
    "$java" -cp "$work/classes" AttachRounds "$work/attached" "$rounds" >"$work/plain.out"
    tail -n +50 "$work/plain.out" | awk '{ print $2 }' >>"$work/plain"
    "$java" "-agentpath:$agent=Eprofiler.enabled=false" -cp "$work/classes" AttachRounds "$work/attached" "$rounds" \
        >"$work/field.out" 2>/dev/null
    tail -n +50 "$work/field.out" | awk '{ print $2 }' >>"$work/field"
    "$java" -cp "$work/classes" AttachRounds "$work/attached" "$rounds" >"$work/table.out" 2>/dev/null &
    vm=$!
    sleep 1
    "$zvtool" attach "$vm" "port=$((20000 + RANDOM % 30000)),Eprofiler.enabled=false" --agent "$agent" >/dev/null
    touch "$work/attached"
    wait "$vm"
    # The rounds after the attach, past the compilers' warm-up of the new code.
    grep attached "$work/table.out" | tail -n +10 | awk '{ print $2 }' >>"$work/table"
    echo "run $run/$runs: $(median <"$work/plain") / $(median <"$work/field") / $(median <"$work/table") ms so far"
done
plain=$(median <"$work/plain")
for c in field table; do
    with=$(median <"$work/$c")
    echo "$c: median round ${with} ms vs ${plain} ms without the agent, ratio $(awk "BEGIN { printf \"%.2f\", $with / $plain }")"
done
