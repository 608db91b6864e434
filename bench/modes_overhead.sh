#!/usr/bin/env bash
# The cost of the profiler's exact and event kinds, alternating, several rounds:
# 1. rhino on JDK 25: plain, the agent profiling nothing, exact method timing
#    of ScriptRuntime and OptRuntime, the same classes under JFR's method
#    timing, and exact timing of every method; then the invocation counts of
#    JFR and of the profiler for those classes' methods side by side.
# 2. the allocation kernel of Kernels.java: plain, the agent profiling
#    nothing, and the agent sampling allocations every 512 KB.
# Prints medians of wall and CPU (user + system) seconds, ratios to plain,
# and the load average before and after.
# Usage: bench/modes_overhead.sh BUILD_DIR [ROUNDS]   (JAVA25 names JDK 25's java)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-5}
java25=${JAVA25:-/usr/lib/jvm/temurin-25-jdk-amd64/bin/java}
jfr=$(dirname "$java25")/jfr
install=$build/zenva
agent=$install/lib/libr2orar.so
here=$(cd "$(dirname "$0")" && pwd)
share=/usr/share/java workloads=$here/workloads
for f in "$agent" "$install/ext/darara/lib/zen_profilerdev_i.so" "$java25" "$share/js.jar"; do
    [ -f "$f" ] || { echo "modes_overhead.sh: $f is missing" >&2; exit 1; }
done
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_modes.XXXXXX")
trap 'rm -rf "$work"' EXIT
echo "{DuvOzurivud3.0=\"$install\";}" >"$work/.zv_audit"
export HOME=$work
unset ZENVA_HOME
cd "$work"
. "$workloads/programs.sh"
program_command rhino
"${JAVAC:-javac}" -d "$work/classes" "$here/java/Kernels.java"

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
classes='org.mozilla.javascript.ScriptRuntime|org.mozilla.javascript.optimizer.OptRuntime'
# ("" for none: an option with nothing after its = is refused, and keeps its default)
profiler="-agentpath:$agent=Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
for round in $(seq "$rounds"); do
    seconds plain "$java25" "${args[@]}"
    seconds agent "$java25" "$profiler,Eprofiler.enabled=false" "${args[@]}"
    seconds timing "$java25" "$profiler,Eprofiler.mode=timing,Eprofiler.methods=$classes,Eprofiler.text=timing.txt" "${args[@]}"
    seconds jfr "$java25" "-XX:StartFlightRecording:method-timing=${classes//|/;},filename=$work/timing.jfr" "${args[@]}"
    seconds all "$java25" "$profiler,Eprofiler.mode=timing,Eprofiler.text=all.txt" "${args[@]}"
    echo "round $round/$rounds: $(for c in plain agent timing jfr all; do printf '%s %s  ' $c "$(tail -1 $c.s | cut -d' ' -f1)"; done)"
done
echo "rhino on JDK 25, medians of $rounds (ratios to plain):"
report plain agent timing jfr all

# Invocations by method name (overloads added up), where either side saw calls.
"$jfr" print --events jdk.MethodTiming timing.jfr |
    awk '/method = / { sub(/.*method = /, ""); sub(/\(.*/, ""); m = $0 } /invocations = / { n[m] += $3 }
         END { for (k in n) if (n[k] > 0) print k, n[k] }' | sort >jfr.calls
awk '/^Flat profile/ { on = 1; getline; next } on && NF == 0 { exit } on { print $NF, $(NF - 1) }' timing.txt |
    sort >profiler.calls
join -a1 -a2 -e 0 -o 0,1.2,2.2 jfr.calls profiler.calls >both.calls
echo "invocations, JFR against the profiler: $(awk '$2 == $3' both.calls | wc -l) of $(wc -l <both.calls) methods equal"
awk '$2 != $3 { printf "  differ: %s JFR %s profiler %s\n", $1, $2, $3 }' both.calls | head -10

for round in $(seq "$rounds"); do
    seconds kplain java -cp classes Kernels 4 60000
    seconds kagent java "$profiler,Eprofiler.enabled=false" -cp classes Kernels 4 60000
    seconds kalloc java "$profiler,Eprofiler.mode=alloc,Eprofiler.text=alloc.txt" -cp classes Kernels 4 60000
    for c in kplain kagent kalloc; do sed -n 's/^objects //p' "$c.out" >>"$c.kernel"; done
done
echo "allocation kernel on JDK 17, medians of $rounds (ratios to plain):"
report kplain kagent kalloc
for c in kagent kalloc; do
    echo "  kernel's own time, $c: $(median <$c.kernel) ms (plain $(median <kplain.kernel) ms)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
