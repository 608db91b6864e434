#!/usr/bin/env bash
# Start-up of a hello-world program: plain, with the agent, and with the agent
# and the shipped profiler (CPU mode, 10 ms), alternating, several rounds.
# Prints the medians of wall time and of CPU time (user + sys, every thread of
# the VM) and what the agent adds to each; CPU time keeps other load on the
# machine out of the figure, which the load average beside it shows.
# Usage: bench/startup.sh BUILD_DIR [ROUNDS]   (JAVA names the java program)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-7}
java=${JAVA:-java}
install=$build/zenva
agent=$install/lib/libr2orar.so
bench_need "$agent"

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_startup.XXXXXX")
trap 'rm -rf "$work"' EXIT
hello_program "$work" "$install"
configs=(plain agent profiler)

# run CONFIG: appends "wall cpu" in milliseconds to $work/CONFIG.
run() {
    local f=() out dir=$work
    [ -n "${flag[$1]}" ] && f=("${flag[$1]}")
    [ "$1" = profiler ] && dir=$work/profiled
    out=$( { TIMEFORMAT='%R %U %S'; time (cd "$dir" && "$java" "${f[@]}" -cp "$work/classes" Hello >/dev/null 2>"$work/err"); } 2>&1 ) ||
        { echo "$1: run failed: $(tail -3 "$work/err")" >&2; exit 1; }
    set -- "$1" $out
    awk -v r="$2" -v u="$3" -v s="$4" 'BEGIN { printf "%d %d\n", r * 1000, (u + s) * 1000 }' >>"$work/$1"
}

for round in $(seq "$rounds"); do
    for c in "${configs[@]}"; do run "$c"; done
done
wall() { awk '{ print $1 }' "$work/$1" | median; }
cpu() { awk '{ print $2 }' "$work/$1" | median; }
echo "hello world, median of $rounds rounds (load average: $(cut -d' ' -f1-3 /proc/loadavg))"
for c in "${configs[@]}"; do
    printf "%-9s wall %5s ms (+%s)   CPU %5s ms (+%s)\n" "$c" "$(wall "$c")" "$(awk "BEGIN { print $(wall "$c") - $(wall plain) }")" \
        "$(cpu "$c")" "$(awk "BEGIN { print $(cpu "$c") - $(cpu plain) }")"
done
