#!/usr/bin/env bash
# Exact method timing against JDK 25's JFR method timing, before and after:
# on rhino (the classes ScriptRuntime and OptRuntime) and h2 (Parser and
# Value), each round runs plain, JFR's method timing of the classes, the new
# build's agent profiling nothing (the instrumentation's own cost), and the
# profiler timing the same classes and timing every method, these two with
# the new build and with a base build; alternating, several rounds.
# Prints medians of wall and CPU (user + system) seconds with their ratios to
# plain, and the load average before and after.
# Usage: bench/timing_overhead.sh BUILD_DIR BASE_BUILD_DIR [ROUNDS]   (JAVA25 names JDK 25's java)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

[ $# -ge 2 ] || bench_build
bench_build "$1"
new=$build
bench_build "$2"
base=$build
rounds=${3:-3}
java25=${JAVA25:-/usr/lib/jvm/temurin-25-jdk-amd64/bin/java}
here=$(cd "$(dirname "$0")" && pwd)
share=/usr/share/java workloads=$here/workloads
for b in "$new" "$base"; do
    bench_need "$b/zenva/lib/libr2orar.so" "$b/zenva/ext/darara/lib/zen_profilerdev_i.so"
done
bench_need "$java25" "$share/js.jar" "$share/h2.jar"
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_timing.XXXXXX")
trap 'rm -rf "$work"' EXIT
unset ZENVA_HOME
cd "$work"
. "$workloads/programs.sh"

# profiled NAME INSTALL OPTIONS: one run of the program under the profiler of
# the installation; the agent finds it through HOME's .zv_audit.
profiled() {
    local name=$1 install=$2 options=$3
    mkdir -p "$work/home-$name"
    echo "{DuvOzurivud3.0=\"$install\";}" >"$work/home-$name/.zv_audit"
    HOME=$work/home-$name seconds "$name" "$java25" \
        "-agentpath:$install/lib/libr2orar.so=Eprofiler.html=\"\",Eprofiler.collapsed=\"\",$options" \
        "${args[@]}"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for program in rhino h2; do
    program_command "$program"
    case $program in
    rhino) classes='org.mozilla.javascript.ScriptRuntime|org.mozilla.javascript.optimizer.OptRuntime' ;;
    h2) classes='org.h2.command.Parser|org.h2.value.Value' ;;
    esac
    for round in $(seq "$rounds"); do
        seconds "$program-plain" "$java25" "${args[@]}"
        seconds "$program-jfr" "$java25" "-XX:StartFlightRecording:method-timing=${classes//|/;},filename=$work/$program.jfr" \
            "${args[@]}"
        profiled "$program-agent" "$new/zenva" "Eprofiler.enabled=false"
        for build in base new; do
            [ $build = base ] && install=$base/zenva || install=$new/zenva
            profiled "$program-filter-$build" "$install" "Eprofiler.mode=timing,Eprofiler.methods=$classes,Eprofiler.text=t.txt"
            profiled "$program-all-$build" "$install" "Eprofiler.mode=timing,Eprofiler.text=t.txt"
        done
        echo "$program round $round/$rounds: load $(cut -d' ' -f1 /proc/loadavg)"
    done
    echo "$program on JDK 25, medians of $rounds (ratios to plain):"
    report "$program-plain" "$program-jfr" "$program-agent" "$program-filter-base" "$program-filter-new" "$program-all-base" "$program-all-new"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
