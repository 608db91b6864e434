#!/usr/bin/env bash
# The agent's cost in a real VM: start-up (an empty program) and run time
# (the demo, a fixed workload of a few seconds), each run without and with
# the agent, alternating, several rounds; prints medians and ratios. A third
# configuration keeps the audit system's metrics thread off
# (-Dzenva.metrics.thread=false): a thread that sleeps in native code holds
# HotSpot's exit up to 300 ms, a cost of that thread, not of the agent's
# event handling.
# Usage: bench/agent_overhead.sh BUILD_DIR [ROUNDS]   (JAVA names the java program)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-5}
java=${JAVA:-java}
agent=$build/zenva/lib/libr2orar.so
demo=$build/examples/demo/demo.jar
bench_need "$agent" "$demo"

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_overhead.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/classes"
cat >"$work/Empty.java" <<'JAVA'
public class Empty { public static void main(String[] args) { } }
JAVA
"${JAVAC:-javac}" -d "$work/classes" "$work/Empty.java"

for round in $(seq "$rounds"); do
    millis "$java" -cp "$work/classes" Empty >>"$work/start.plain"
    millis "$java" "-agentpath:$agent" -cp "$work/classes" Empty >>"$work/start.agent"
    millis "$java" -jar "$demo" >>"$work/demo.plain"
    millis "$java" "-agentpath:$agent" -jar "$demo" >>"$work/demo.agent"
    millis "$java" "-agentpath:$agent" -Dzenva.metrics.thread=false -cp "$work/classes" Empty >>"$work/start.quiet"
    millis "$java" "-agentpath:$agent" -Dzenva.metrics.thread=false -jar "$demo" >>"$work/demo.quiet"
    echo "round $round/$rounds: start $(tail -1 "$work/start.plain") / $(tail -1 "$work/start.agent")" \
        "/ $(tail -1 "$work/start.quiet") ms, demo $(tail -1 "$work/demo.plain") / $(tail -1 "$work/demo.agent")" \
        "/ $(tail -1 "$work/demo.quiet") ms (without / with agent / with agent, no metrics thread)"
done

report() {
    local label=$1 plain agent
    plain=$(median <"$work/$2")
    agent=$(median <"$work/$3")
    echo "$label, median of $rounds: ${plain} ms without, ${agent} ms with the agent:" \
        "+$(awk "BEGIN { print $agent - $plain }") ms, ratio $(awk "BEGIN { printf \"%.3f\", $agent / $plain }")"
}
report "start-up (empty program)" start.plain start.agent
report "start-up (empty program), no metrics thread" start.plain start.quiet
report "demo run time" demo.plain demo.agent
report "demo run time, no metrics thread" demo.plain demo.quiet
