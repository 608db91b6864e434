#!/usr/bin/env bash
# Thread churn for minutes under the profiler: waves of short-lived threads
# that recurse, throw and allocate (the end-to-end program e2e.Churn, which
# also reads backtraces and pushes markers through the test extension) while
# the profiler samples every PERIOD ms and a snapshot is fetched over the
# audit port every second. Reports the run's length, the snapshots taken,
# the heap in use and registered threads before and after the churn, and the
# resident memory; fails on a crash, a hang, an error line or a failed check.
# Usage: bench/thread_churn.sh BUILD_DIR [MINUTES] [PERIOD_MS] [THREADS_PER_WAVE]
#   (JAVA names the java program; ZV_PRELOAD, for a sanitized build, the
#   sanitizer runtimes java must preload)
set -uo pipefail
source "$(dirname "$0")/../tests/e2e/profiled.sh"

if [ $# -lt 1 ]; then
    sed -n '2,12p' "$0"
    exit 2
fi
build=$(cd "$1" && pwd)
minutes=${2:-10}
period=${3:-1}
per_wave=${4:-64}
java=(${JAVA:-java})
[ -n "${ZV_PRELOAD:-}" ] && java=(env "LD_PRELOAD=$ZV_PRELOAD" "${java[@]}")
lib=$build/zenva/lib
extension=$build/tests/e2e/zen_recorderdev_i.so
classes=$build/tests/e2e/classes
zvtool=$build/tools/zvtool
for f in "$lib/libr2orar.so" "$build/zenva/ext/darara/lib/zen_profilerdev_i.so" "$extension" \
         "$classes/e2e/Churn.class" "$zvtool"; do
    [ -f "$f" ] || { echo "thread_churn.sh: $f is missing; build first" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_churn.XXXXXX")
keep=0
trap '[ $keep = 1 ] || rm -rf "$work"' EXIT
# An installation with the profiler and the test extension in its table.
install=$work/install
export HOME=$work
unset ZENVA_HOME
profiled_install "$install" "$lib" "$extension"

port=$((20000 + RANDOM % 30000))
seconds=$((minutes * 60))
start=$(date +%s)
(cd "$work" && exec timeout $((seconds + 300)) "${java[@]}" \
    "-agentpath:$install/lib/libr2orar.so=port=$port-$((port + 30)),Eprofiler.period=$period" \
    -Dzenva.test.echo=true "-Dzv.churn=$install/ext/darara/lib/zen_churndev_i.so" \
    -cp "$classes" e2e.Churn 0 "$per_wave" "$seconds" >"$work/out" 2>"$work/err") &
pid=$!
listen=""
for _ in $(seq 1 600); do
    listen=$(sed -n 's/^zenva: AuditPort.listen(port=\([0-9]*\))$/\1/p' "$work/out")
    [ -n "$listen" ] || ! kill -0 $pid 2>/dev/null && break
    sleep 0.1
done
snapshots=0 refused=0 rss_max=0
while kill -0 $pid 2>/dev/null; do
    if [ -n "$listen" ]; then
        if timeout 30 "$zvtool" snapshot --port "$listen" --out "$work/live.collapsed" >"$work/snap.out" 2>&1; then
            snapshots=$((snapshots + 1))
        else
            # A request that met the VM's exit is no failure.
            sleep 2
            kill -0 $pid 2>/dev/null && refused=$((refused + 1)) && cp "$work/snap.out" "$work/snap.failed"
        fi
    fi
    java_pid=$(pgrep -n -f "zv.churn=$install" || true)
    if [ -n "$java_pid" ]; then
        rss=$(awk '/^VmRSS:/ { print $2 }' "/proc/$java_pid/status" 2>/dev/null || echo 0)
        [ "${rss:-0}" -gt "$rss_max" ] && rss_max=$rss
    fi
    sleep 1
done
wait $pid
rc=$?
elapsed=$(($(date +%s) - start))

echo "run: ${elapsed} s, exit status $rc, $snapshots snapshots ($refused failed), peak resident ${rss_max} kB"
grep -E '^(churn|failed|refused|caught|heap|java heap|resident kB|registered):? ' "$work/out" | sed 's/^/  /'
read -r before after <<<"$(sed -n 's/^heap in use: before \([0-9]*\) after \([0-9]*\)$/\1 \2/p' "$work/out")"
[ -n "${before:-}" ] && echo "  heap growth over the churn: $(((after - before) / 1024)) kB"
problems=0
[ "$rc" = 0 ] || { echo "FAIL: exit status $rc"; problems=1; }
grep -qxF "failed inspections: 0 " "$work/out" || { echo "FAIL: inspections failed"; problems=1; }
grep -qxF "caught: true" "$work/out" || { echo "FAIL: exceptions not caught once per thread"; problems=1; }
profiled_verdict "$work" "$problems" "$refused" || { keep=1; exit 1; }
