#!/usr/bin/env bash
# The agent's memory per thread alone: bench/java/Footprint's resident size
# after starting THREADS threads that each ran instrumented code at depth 20,
# without the agent, with the agent alone and with the shipped profiler (CPU
# mode, 10 ms), rounds alternating the configurations (and the builds, when
# a second build is given). Prints, per build and configuration, the median
# of the resident KB per thread over the median without the agent, and the
# Java heap bytes each started thread allocated itself (the VM's count).
# Usage: bench/footprint.sh BUILD_DIR [ROUNDS] [OTHER_BUILD_DIR]   (JAVA names the java program; THREADS, 500)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-5}
builds=("$build")
[ $# -ge 3 ] && builds+=("$(cd "$3" && pwd)")
threads=${THREADS:-500}
java=${JAVA:-java}
for b in "${builds[@]}"; do bench_need "$b/zenva/lib/libr2orar.so"; done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_footprint.XXXXXX")
trap 'rm -rf "$work"' EXIT
"${JAVAC:-javac}" -d "$work/classes" "$here/java/Footprint.java"

# run NAME DIR [FLAG]: one run in DIR; appends "KB-for-the-threads bytes-per-thread" to $work/NAME.
run() {
    local name=$1 dir=$2 f=() out
    [ $# -ge 3 ] && f=("$3")
    out=$(cd "$dir" && "$java" "${f[@]}" -Dzenva.metrics.thread=false -cp "$work/classes" Footprint "$threads" allocated \
          2>"$work/err") || { echo "$name: run failed: $(tail -3 "$work/err")" >&2; exit 1; }
    awk '/^start/ { print $4, $6 }' <<<"$out" >>"$work/$name"
}

for i in "${!builds[@]}"; do
    mkdir -p "$work/b$i/plain" "$work/b$i/profiled"
    # The profiler's runs find the installation through this file.
    echo "{DuvOzurivud3.0=\"${builds[$i]}/zenva\";}" >"$work/b$i/profiled/.zv_audit"
done
for round in $(seq "$rounds"); do
    run plain "$work"
    for i in "${!builds[@]}"; do
        agent=${builds[$i]}/zenva/lib/libr2orar.so
        run "b$i.agent" "$work/b$i/plain" "-agentpath:$agent=Eprofiler=false"
        run "b$i.profiler" "$work/b$i/profiled" \
            "-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
    done
done

column() { awk -v c="$2" '{ print $c }' "$work/$1" | median; }
plain=$(column plain 1)
echo "memory per thread, $threads threads, median of $rounds rounds: ${plain} KB for the threads without the agent" \
     "($(column plain 2) bytes of Java heap allocated per thread; runs: $(awk '{ printf "%s ", $1 }' "$work/plain"))"
for i in "${!builds[@]}"; do
    for c in agent profiler; do
        awk -v b="${builds[$i]}" -v c="$c" -v kb="$(column "b$i.$c" 1)" -v p="$plain" -v n="$threads" \
            -v bytes="$(column "b$i.$c" 2)" -v runs="$(awk '{ printf "%s ", $1 }' "$work/b$i.$c")" \
            'BEGIN { printf "%s %-8s %5.1f KB more per thread, %5d heap bytes per thread (runs: %s)\n", b, c, (kb - p) / n, bytes, runs }'
    done
done
