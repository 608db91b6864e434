#!/usr/bin/env bash
# The profiler against JFR on one workload (the demo), in one run: plain,
# with the agent and its profiler extension (CPU mode, 10 ms, the rate of
# JFR's "profile" settings), the same without call counting, and with JFR's
# profile settings; alternating, several rounds. Prints median wall times, ratios to plain, and the top
# methods by self samples of both profilers with how far they agree.
# Usage: bench/profiler_vs_jfr.sh BUILD_DIR [ROUNDS]   (JAVA, JFR name the programs)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-3}
java=${JAVA:-java}
jfr=${JFR:-jfr}
install=$build/zenva
agent=$install/lib/libr2orar.so
demo=$build/examples/demo/demo.jar
bench_need "$agent" "$demo" "$install/ext/darara/lib/zen_profilerdev_i.so"
top=5

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_profiler_jfr.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The agent finds its installation, and so the profiler, through this file.
echo "{DuvOzurivud3.0=\"$install\";}" >"$work/.zv_audit"
cd "$work"

profiler="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
for round in $(seq "$rounds"); do
    millis "$java" -jar "$demo" >>plain.ms
    millis "$java" "$profiler,Eprofiler.calls=false,Eprofiler.text=\"\"" -jar "$demo" >>uncounted.ms
    millis "$java" "$profiler" -jar "$demo" >>profiler.ms
    millis "$java" -XX:StartFlightRecording=settings=profile,filename="$work/run.jfr" -jar "$demo" >>jfr.ms
    echo "round $round/$rounds: plain $(tail -1 plain.ms) ms, profiler $(tail -1 profiler.ms) ms," \
        "without call counts $(tail -1 uncounted.ms) ms, JFR $(tail -1 jfr.ms) ms"
done

plain=$(median <plain.ms)
for config in profiler uncounted jfr; do
    ms=$(median <"$config.ms")
    echo "$config, median of $rounds: $ms ms against $plain ms plain, ratio $(awk "BEGIN { printf \"%.3f\", $ms / $plain }")"
done

# Top methods by self samples. The profiler's flat profile is sorted by self
# time already; JFR's top frame is the first frame line of each stack trace.
awk '/^Flat profile/ { on = 1; getline; next } on && NF == 0 { exit } on && $1 > 0 { print $NF, $1 "%" }' \
    zvprofile.txt | head -n "$top" >profiler.rows
cut -d' ' -f1 profiler.rows >profiler.top
"$jfr" print --events jdk.ExecutionSample run.jfr |
    awk '/stackTrace = \[/ { getline; sub(/^ +/, ""); sub(/\(.*/, ""); n[$0]++ }
         END { for (m in n) { print n[m], m; all += n[m] } print all, "*" }' | sort -rn >jfr.counts
jfr_all=$(awk '$2 == "*" { print $1 }' jfr.counts)
grep -v ' \*$' jfr.counts | head -n "$top" | awk -v all="$jfr_all" '{ printf "%s %.1f%%\n", $2, 100 * $1 / all }' \
    >jfr.rows
cut -d' ' -f1 jfr.rows >jfr.top
echo "top $top methods by self samples (profiler | JFR):"
paste -d'|' profiler.rows jfr.rows | awk -F'|' '{ printf "  %-52s | %s\n", $1, $2 }'
common=$(sort profiler.top | comm -12 - <(sort jfr.top) | wc -l)
first=$([ "$(head -1 profiler.top)" = "$(head -1 jfr.top)" ] && echo "the same" || echo "different")
echo "agreement: $common of the top $top methods in common; the hottest method is $first"
