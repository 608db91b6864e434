#!/usr/bin/env bash
# How far the profiler's CPU mode agrees with JFR's "profile" settings on
# real programs from Debian's packages (rhino, jython, groovy, clojure,
# libh2-java, derby-tools, checkstyle), each with a workload of bench/workloads/:
# the top methods by self time of both, and how many they share. Measured and
# printed, not asserted; programs whose package is missing are skipped.
# Usage: bench/jfr_agreement.sh BUILD_DIR [PROGRAM...]   (JAVA, JFR name the programs; TOP, default 5)
set -uo pipefail
. "$(dirname "$0")/workloads/programs.sh"

if [ $# -lt 1 ]; then
    sed -n '2,7p' "$0"
    exit 2
fi
build=$(cd "$1" && pwd)
shift
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(rhino jython groovy clojure h2 derby checkstyle)
java=${JAVA:-java}
jfr=${JFR:-jfr}
top=${TOP:-5}
workloads=$(cd "$(dirname "$0")/workloads" && pwd)
agent=$build/zenva/lib/libr2orar.so
[ -f "$agent" ] || { echo "jfr_agreement.sh: $agent is missing; build first" >&2; exit 1; }
share=/usr/share/java
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_jfr_agreement.XXXXXX")
trap 'rm -rf "$work"' EXIT


# Top methods by self time: the profiler's flat profile is sorted already;
# JFR's top frame is the first frame line of each stack trace.
profiler_top() {
    awk '/^Flat profile/ { on = 1; getline; next } on && NF == 0 { exit } on && $1 > 0 { print $NF, $1 "%" }' \
        "$1" | head -n "$top"
}
jfr_top() {
    "$jfr" print --events jdk.ExecutionSample "$1" |
        awk '/stackTrace = \[/ { getline; sub(/^ +/, ""); sub(/\(.*/, ""); n[$0]++; all++ }
             END { for (m in n) printf "%d %s %.1f%%\n", n[m], m, 100 * n[m] / all }' |
        sort -rn | head -n "$top" | cut -d' ' -f2-
}

summary=()
for program in "${programs[@]}"; do
    if ! program_command "$program"; then
        echo "$program: skipped (its package is not installed)"
        continue
    fi
    dir=$work/$program
    mkdir -p "$dir"
    start=$(date +%s.%N)
    (cd "$dir" && "$java" "-agentpath:$agent=Eprofiler.html=\"\",Eprofiler.collapsed=\"\"" "${args[@]}" \
        >profiler.out 2>profiler.err)
    seconds=$(awk -v s="$start" -v e="$(date +%s.%N)" 'BEGIN { printf "%.1f", e - s }')
    (cd "$dir" && "$java" -XX:StartFlightRecording=settings=profile,filename=run.jfr "${args[@]}" \
        >jfr.out 2>jfr.err)
    profiler_top "$dir/zvprofile.txt" >"$dir/profiler.rows"
    jfr_top "$dir/run.jfr" >"$dir/jfr.rows"
    common=$(comm -12 <(cut -d' ' -f1 "$dir/profiler.rows" | sort) <(cut -d' ' -f1 "$dir/jfr.rows" | sort) | wc -l)
    echo "$program ($seconds s under the profiler): top $top by self time, profiler | JFR"
    paste -d'|' "$dir/profiler.rows" "$dir/jfr.rows" | awk -F'|' '{ printf "  %-60s | %s\n", $1, $2 }'
    summary+=("$program $common/$top")
done
echo "agreement (methods shared by the two top-$top lists): ${summary[*]}"
