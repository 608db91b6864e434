#!/usr/bin/env bash
# Soak: a steady server-like load (the end-to-end program e2e.Soak: a
# loopback server with a fixed pool of workers answering client threads in
# the same VM) for MINUTES under the profiler, sampling every 10 ms, with a
# snapshot fetched over the audit port every 10 s. Prints the curve of the
# process's heap in use (where the agent allocates) and resident set, and
# fails if, after the warm-up (a sixth of the run, 20 s at least), either
# rises above its reading at the end of the warm-up by more than its bound,
# or on a crash, an error line, a failed request or a failed snapshot.
# Usage: bench/soak.sh BUILD_DIR [MINUTES]   (default 30)
#   (JAVA names the java program; ZV_PRELOAD, for a sanitized build, the
#   sanitizer runtimes java must preload)
set -uo pipefail

if [ $# -lt 1 ]; then
    sed -n '2,12p' "$0"
    exit 2
fi
build=$(cd "$1" && pwd)
minutes=${2:-30}
# Bounds on the rise after the warm-up, in kB.
heap_bound=4096
resident_bound=32768
java=(${JAVA:-java})
[ -n "${ZV_PRELOAD:-}" ] && java=(env "LD_PRELOAD=$ZV_PRELOAD" "${java[@]}")
source "$(dirname "$0")/../tests/e2e/profiled.sh"
lib=$build/zenva/lib
extension=$build/tests/e2e/zen_recorderdev_i.so
classes=$build/tests/e2e/classes
zvtool=$build/tools/zvtool
for f in "$lib/libr2orar.so" "$build/zenva/ext/darara/lib/zen_profilerdev_i.so" "$extension" \
         "$classes/e2e/Soak.class" "$zvtool"; do
    [ -f "$f" ] || { echo "soak.sh: $f is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_soak.XXXXXX")
keep=0
trap '[ $keep = 1 ] || rm -rf "$work"' EXIT
export HOME=$work
unset ZENVA_HOME
install=$work/install
profiled_install "$install" "$lib" "$extension"

port=$((20000 + RANDOM % 30000))
seconds=$((minutes * 60))
warmup=$((seconds / 6 > 20 ? seconds / 6 : 20))
start=$(date +%s)
# A fixed, pre-touched Java heap: its pages do not move the resident set.
(cd "$work" && exec timeout $((seconds + 300)) "${java[@]}" -Xms64m -Xmx64m -XX:+AlwaysPreTouch \
    "-agentpath:$install/lib/libr2orar.so=port=$port-$((port + 30)),Eprofiler.period=10" \
    -Dzenva.test.echo=true "-Dzv.churn=$install/ext/darara/lib/zen_churndev_i.so" \
    -cp "$classes" e2e.Soak "$seconds" 10 >"$work/out" 2>"$work/err") &
pid=$!
snapshot_loop $pid "$work/out" "$zvtool" 10 "$work"
wait $pid
rc=$?
elapsed=$(($(date +%s) - start))

echo "run: ${elapsed} s, exit status $rc, $snapshots snapshots ($refused failed), warm-up ${warmup} s"
soak_curve "$work/out" $warmup $heap_bound $resident_bound
problems=$?
grep -E '^(soak|workers ended):' "$work/out" | sed 's/^/  /'
[ "$rc" = 0 ] || { echo "FAIL: exit status $rc"; problems=1; }
grep -qE '^soak: [0-9]+ requests, 0 failed $' "$work/out" || { echo "FAIL: requests failed"; problems=1; }
grep -qxF "workers ended: true" "$work/out" || { echo "FAIL: the workers did not end"; problems=1; }
profiled_verdict "$work" "$problems" "$refused" || { keep=1; exit 1; }
