#!/usr/bin/env bash
# Real programs from Debian's packages (rhino, h2, clojure, groovy, checkstyle,
# jython, derby), each running a workload of bench/workloads/ as a whole run
# with start-up: plain, with the agent alone (its profiler off: the agent
# loads it by default), agent + profiler in CPU mode at 10 ms, the same
# without line probes (PRIInstrumentLines=false), and JFR's
# "profile" settings on a plain run. Rounds alternate the configurations; the
# medians of wall and CPU time (user + sys) give the ratios to plain. Prints a
# markdown table; programs whose package is missing are skipped.
# Usage: bench/real_programs.sh BUILD_DIR [ROUNDS [PROGRAM...]]   (JAVA names the java program)
set -uo pipefail
. "$(dirname "$0")/timing.sh"
. "$(dirname "$0")/workloads/programs.sh"

bench_build "$@"
rounds=${2:-3}
shift $(($# >= 2 ? 2 : 1))
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(rhino h2 clojure groovy checkstyle jython derby)
java=${JAVA:-java}
workloads=$(cd "$(dirname "$0")/workloads" && pwd)
install=$build/zenva
agent=$install/lib/libr2orar.so
bench_need "$agent"
share=/usr/share/java
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_real.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The agent finds its installation, and so the profiler, through this file:
# the profiler's runs start in $work/profiled, the others in $work.
mkdir -p "$work/profiled"
echo "{DuvOzurivud3.0=\"$install\";}" >"$work/profiled/.zv_audit"


configs=(plain agent profiler methods jfr)
declare -A flag=(
    [plain]=""
    [agent]="-agentpath:$agent=Eprofiler=false"
    [profiler]="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
    [methods]="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\",PRIInstrumentLines=false"
    [jfr]="-XX:StartFlightRecording=settings=profile,filename=$work/run.jfr")

# run PROGRAM CONFIG: appends wall and CPU milliseconds to the program's files.
run() {
    local f=() out dir=$work
    [ -n "${flag[$2]}" ] && f=("${flag[$2]}")
    [ "$2" = profiler ] || [ "$2" = methods ] && dir=$work/profiled
    # Checkstyle's exit status is its count of violations, which the workload has.
    out=$( { TIMEFORMAT='%R %U %S'; time (cd "$dir" && { "$java" "${f[@]}" "${args[@]}" >/dev/null 2>"$work/err" ||
        grep -qE '^Checkstyle ends with [0-9]+ errors\.$' "$work/err"; }) ; } 2>&1 ) ||
        { echo "$1 $2: run failed: $(tail -3 "$work/err")" >&2; return 1; }
    set -- "$1" "$2" $out
    awk -v r="$3" -v u="$4" -v s="$5" 'BEGIN { printf "%d %d\n", r * 1000, (u + s) * 1000 }' >>"$work/$1.$2"
}

ratios=()
echo "| program | plain wall / CPU | agent | profiler | agent, no line probes | JFR |"
echo "|---|---|---|---|---|---|"
for program in "${programs[@]}"; do
    program_command "$program" || { echo "| $program | skipped: package missing | | | | |"; continue; }
    for round in $(seq "$rounds"); do
        for c in "${configs[@]}"; do run "$program" "$c" || continue 3; done
    done
    row="| $program |"
    pw=$(cut -d' ' -f1 "$work/$program.plain" | median)
    pc=$(cut -d' ' -f2 "$work/$program.plain" | median)
    row="$row $(awk "BEGIN { printf \"%.2f s / %.2f s\", $pw / 1000, $pc / 1000 }") |"
    for c in agent profiler methods jfr; do
        w=$(cut -d' ' -f1 "$work/$program.$c" | median)
        u=$(cut -d' ' -f2 "$work/$program.$c" | median)
        row="$row $(awk "BEGIN { printf \"%.2f× / %.2f×\", $w / $pw, $u / $pc }") |"
        echo "$c $(awk "BEGIN { print $w / $pw, $u / $pc }")" >>"$work/ratios"
    done
    echo "$row"
done
echo
echo "(wall-time ratio / CPU-time ratio to plain; medians of $rounds alternating rounds)"
# Median and worst per configuration, of wall time (field 2) and CPU time (3):
# on a busy machine the wall time is mostly waiting for a core.
stats() {
    awk -v c="$1" -v f="$2" '$1 == c { print $f }' "$work/ratios" | sort -n |
        awk '{ v[NR] = $1 } END { if (NR) printf "median %.2f×, worst %.2f×", (NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2), v[NR] }'
}
for c in agent profiler methods jfr; do
    echo "$c: wall $(stats "$c" 2); CPU $(stats "$c" 3)"
done
