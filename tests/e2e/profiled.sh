# shellcheck shell=bash
# Shell pieces shared by the end-to-end runs and the bench scripts that run
# a program under the shipped profiler: source it, then call the functions.

# profiled_install INSTALL LIB EXTENSION: an installation in INSTALL with the
# agent's files from LIB, the profiler beside it and the test extension
# EXTENSION as "churn" in the table; $HOME/.zv_audit names it.
profiled_install() {
    local install=$1 lib=$2
    mkdir -p "$install/lib" "$install/ext/darara/lib" "$install/ext/darara/audit"
    cp "$lib"/* "$install/lib/"
    cp "$(dirname "$lib")/ext/darara/lib/zen_profilerdev_i.so" "$install/ext/darara/lib/"
    cp "$3" "$install/ext/darara/lib/zen_churndev_i.so"
    echo '({libraryName=profiler;},{libraryName=churn;})' >"$install/ext/darara/audit/extensions.table"
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
}

# snapshot_loop PID OUT ZVTOOL PERIOD DIR: while PID lives, a snapshot over the
# audit port that the program's stdout OUT announces, every PERIOD seconds,
# into DIR/live.collapsed. Sets snapshots and refused (failures while PID
# still lived; a request that met the VM's exit is no failure; the last
# failure's output is kept in DIR/snap.failed).
snapshot_loop() {
    local pid=$1 out=$2 zvtool=$3 period=$4 dir=$5 listen next
    snapshots=0 refused=0
    while kill -0 "$pid" 2>/dev/null; do
        next=$(($(date +%s) + period))
        listen=$(sed -n 's/^zenva: AuditPort.listen(port=\([0-9]*\))$/\1/p' "$out")
        if [ -n "$listen" ]; then
            if timeout 30 "$zvtool" snapshot --port "$listen" --out "$dir/live.collapsed" >"$dir/snap.out" 2>&1; then
                snapshots=$((snapshots + 1))
            else
                sleep 2
                kill -0 "$pid" 2>/dev/null && refused=$((refused + 1)) && cp "$dir/snap.out" "$dir/snap.failed"
            fi
        fi
        while kill -0 "$pid" 2>/dev/null && [ "$(date +%s)" -lt "$next" ]; do sleep 0.2; done
    done
}

# soak_curve OUT WARMUP HEAP_KB RESIDENT_KB: prints the curve of the
# "sample: SECONDS HEAP_BYTES RESIDENT_KB REQUESTS" lines of OUT, then checks
# that the samples after WARMUP seconds stay flat: the floor (least reading)
# of their later half may exceed that of their earlier half by HEAP_KB for the
# heap in use and RESIDENT_KB for the resident set at most. A leak raises the
# floor; the VM's passing peaks (its compilers' arenas live for one
# compilation, longer on a busy machine) do not. Prints one "FAIL: ..." line
# per breach; returns 1 if any.
soak_curve() {
    awk -v warmup="$2" -v heap_bound="$3" -v rss_bound="$4" '
        $1 == "sample:" {
            printf "  %6d s  heap in use %8d kB  resident %8d kB  %10d requests\n", $2, $3 / 1024, $4, $5
            if ($2 > warmup) { n++; heap[n] = int($3 / 1024); rss[n] = $4 }
        }
        function least(a, from, to,   i, m) { m = a[from]; for (i = from + 1; i <= to; i++) if (a[i] < m) m = a[i]; return m }
        END {
            if (n < 4) { print "FAIL: " n " samples after the warm-up, too few"; exit 1 }
            half = int(n / 2)
            dh = least(heap, half + 1, n) - least(heap, 1, half)
            dr = least(rss, half + 1, n) - least(rss, 1, half)
            printf "  after the warm-up, floor of the later half over the earlier: heap in use %+d kB (bound %d), resident %+d kB (bound %d)\n",
                dh, heap_bound, dr, rss_bound
            bad = 0
            if (dh > heap_bound) { print "FAIL: the heap in use grew " dh " kB after the warm-up"; bad = 1 }
            if (dr > rss_bound) { print "FAIL: the resident set grew " dr " kB after the warm-up"; bad = 1 }
            exit bad
        }' "$1"
}

# profiled_verdict WORK PROBLEMS REFUSED: the end of a bench run whose
# program wrote WORK/err: adds error lines and failed snapshots (REFUSED) to
# the PROBLEMS found so far; prints "ok", or what failed and where the output
# is (the caller keeps it) and returns 1.
profiled_verdict() {
    local work=$1 problems=$2 refused=$3
    if grep -qiE 'error|exception|fatal' "$work/err"; then
        echo "FAIL: error lines:"
        grep -iE 'error|exception|fatal' "$work/err" | head -5
        problems=1
    fi
    [ "$refused" = 0 ] || { echo "FAIL: $refused snapshots failed: $(cat "$work/snap.failed")"; problems=1; }
    if [ "$problems" != 0 ]; then
        ls "$work"/hs_err* 2>/dev/null
        echo "output kept in $work"
        return 1
    fi
    echo "ok"
}
