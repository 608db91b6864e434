#!/usr/bin/env bash
# The cost of CPU instrumentation on call-heavy kernels: each kernel's own time
# (after warm-up, start-up excluded) without the agent, with the agent and
# method instrumentation only, and with line probes (both with the profiler
# the agent loads by default, in CPU mode); rounds alternate the
# three, and the medians give the ratios. Also: the VM's start-up with and
# without the agent over the classes it loads (the class-load hook's cost per
# class, JDK classes included).
# Usage: bench/cpu_overhead.sh BUILD_DIR [ROUNDS]   (JAVA names the java program)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
rounds=${2:-5}
java=${JAVA:-java}
agent=$build/zenva/lib/libr2orar.so
bench_need "$agent"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_cpu.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Runs start in the scratch folder: the agent's default profiler writes its
# reports into the working directory.
cd "$work"
"${JAVAC:-javac}" -XDstringConcat=inline -d "$work/classes" "$here/java/Kernels.java" "$here/java/Footprint.java"

vmflags=(-Dzenva.metrics.thread=false)
configs=(plain methods lines)
declare -A agentflag=([plain]="" [methods]="-agentpath:$agent=PRIInstrumentLines=false"
                      [lines]="-agentpath:$agent")

for round in $(seq "$rounds"); do
    line="round $round/$rounds:"
    for c in "${configs[@]}"; do
        flags=()
        [ -n "${agentflag[$c]}" ] && flags=("${agentflag[$c]}")
        out=$("$java" "${flags[@]}" "${vmflags[@]}" -cp "$work/classes" Kernels 2>/dev/null)
        rec=$(awk '/^recursive/ { print $2 }' <<<"$out")
        obj=$(awk '/^objects/ { print $2 }' <<<"$out")
        awk '/^floor/ { print $2 }' <<<"$out" >>"$work/$c.floor"
        echo "$rec" >>"$work/$c.recursive"
        echo "$obj" >>"$work/$c.objects"
        line="$line $c $rec/$obj ms"
    done
    echo "$line (recursive/objects)"
done

for kernel in recursive objects; do
    plain=$(median <"$work/plain.$kernel")
    for c in methods lines; do
        with=$(median <"$work/$c.$kernel")
        echo "$kernel kernel, $c: median ${with} ms vs ${plain} ms without the agent," \
             "ratio $(awk "BEGIN { printf \"%.2f\", $with / $plain }")"
    done
done

# The hand-written floor (push two ints, pop) measured in the runs without
# the agent, against the recursive kernel under the agent.
floor=$(median <"$work/plain.floor")
for c in methods lines; do
    with=$(median <"$work/$c.recursive")
    echo "recursive kernel, $c: ${with} ms against the hand-written floor's ${floor} ms," \
         "ratio $(awk "BEGIN { printf \"%.2f\", $with / $floor }")"
done

# Class-load cost: an empty program's start-up with and without the agent
# (method instrumentation of every class the VM loads), over the classes
# the VM loaded (bench_instrument gives the cost per KB of class bytes).
cat >"$work/Empty.java" <<'JAVA'
public class Empty { public static void main(String[] args) { } }
JAVA
"${JAVAC:-javac}" -d "$work/classes" "$work/Empty.java"
millis() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}
for round in $(seq "$rounds"); do
    millis "$java" -Xshare:off -Dzenva.metrics.thread=false -cp "$work/classes" Empty >>"$work/start.plain"
    millis "$java" -Xshare:off "-agentpath:$agent" -Dzenva.metrics.thread=false -cp "$work/classes" Empty \
        >>"$work/start.agent"
done
classes=$("$java" -Xshare:off "-agentpath:$agent" -Xlog:class+load=info -cp "$work/classes" Empty 2>/dev/null |
          grep -c 'source:' || true)
plain=$(median <"$work/start.plain")
with=$(median <"$work/start.agent")
echo "start-up: median ${with} ms with the agent vs ${plain} ms without (-Xshare:off), ${classes} classes:" \
     "$(awk "BEGIN { printf \"%.0f\", ($with - $plain) * 1000 / $classes }") us per class loaded"

# Memory: resident size after start-up over the classes loaded, and per
# thread that ran instrumented code (500 threads), with and without the agent.
for c in plain lines; do
    flags=()
    [ -n "${agentflag[$c]}" ] && flags=("${agentflag[$c]}")
    for round in $(seq "$rounds"); do
        "$java" "${flags[@]}" "${vmflags[@]}" -cp "$work/classes" Footprint 500 2>/dev/null |
            awk '/^start/ { print $2 > "'"$work/$c.rss"'"; print $4 > "'"$work/$c.threads"'" }'
        cat "$work/$c.rss" >>"$work/$c.rss.all"
        cat "$work/$c.threads" >>"$work/$c.threads.all"
    done
done
loaded=$("$java" "${agentflag[lines]}" "${vmflags[@]}" -Xlog:class+load=info -cp "$work/classes" Footprint 1 \
         2>/dev/null | grep -c 'source:' || true)
rss_plain=$(median <"$work/plain.rss.all")
rss_agent=$(median <"$work/lines.rss.all")
thr_plain=$(median <"$work/plain.threads.all")
thr_agent=$(median <"$work/lines.threads.all")
echo "memory: ${rss_agent} KB resident with the agent vs ${rss_plain} KB after start-up, ${loaded} classes:" \
     "$(awk "BEGIN { printf \"%.1f\", ($rss_agent - $rss_plain) / $loaded }") KB per class loaded"
echo "memory per thread: $(awk "BEGIN { printf \"%.1f\", ($thr_agent - $thr_plain) / 500 }") KB more with the agent" \
     "(${thr_agent} KB vs ${thr_plain} KB for 500 threads)"
