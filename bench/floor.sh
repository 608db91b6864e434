#!/usr/bin/env bash
# The floor under instrumenting every method of a real program: the programs
# of bench/workloads/ run plainly, with the floor agent of bench/floor/ (an
# empty static call at every method entry and exit of every class, start-up
# classes retransformed: mode "empty"; the same calls keeping a per-thread
# stack of method numbers: "stack"), with our agent alone, with our agent and
# its profiler in CPU mode at 10 ms, and under JFR's "profile" settings.
# Rounds alternate the configurations; the medians of wall and CPU time (user
# + sys) give the ratios to plain, printed as a markdown table. Every run's
# standard output must equal the plain run's, so that a broken rewrite cannot
# pass for a fast one.
# FLOOR_CONFIGS picks the configurations (default "plain empty stack agent
# profiler jfr"; also: "noshare", plain with -Xshare:off as our agent turns
# class data sharing off; "empty_noshare"; "empty_new", empty without the
# classes loaded before the floor agent; "rewrite", the floor agent rewriting
# as for empty but dropping what it wrote: the cost of ASM's rewriting alone;
# "hook", the floor agent offered every class and rewriting none;
# "empty_cached" and "stack_cached", empty and stack with the rewritten
# classes taken from a cache that an untimed first run fills: the calls'
# cost without ASM's; "lookup_cached" and "global_cached" split stack's:
# finding the thread's array only, and pushing on one array for all threads;
# "agent_nolines", our agent without line probes; "profiler_nocalls", the
# profiler without call counting).
# FLOOR_JIT=1 adds, per program, one run each of plain, empty (and
# empty_cached when chosen) and agent with -XX:+CITime: the JIT's compile time.
# Usage: bench/floor.sh BUILD_DIR [ROUNDS [PROGRAM...]]   (JAVA names the java program)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/timing.sh"
. "$here/workloads/programs.sh"

bench_build "$@"
rounds=${2:-3}
shift $(($# >= 2 ? 2 : 1))
programs=("$@")
[ ${#programs[@]} -gt 0 ] || programs=(rhino h2 clojure groovy checkstyle)
read -ra configs <<<"${FLOOR_CONFIGS:-plain empty stack agent profiler jfr}"
[ "${configs[0]}" = plain ] || configs=(plain "${configs[@]}")
java=${JAVA:-java}
workloads=$here/workloads
install=$build/zenva
agent=$install/lib/libr2orar.so
bench_need "$agent"
share=/usr/share/java
asm=$share/asm.jar
bench_need "$asm"
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_floor.XXXXXX")
trap 'rm -rf "$work"' EXIT
# Our agent finds its installation, and so the profiler, through this file:
# the profiler's runs start in $work/profiled, the others in $work.
mkdir -p "$work/profiled"
echo "{DuvOzurivud3.0=\"$install\";}" >"$work/profiled/.zv_audit"

# The floor agent: its calls' classes on the boot class path (a jar that the
# agent's manifest names), the agent with ASM's core classes in one jar.
f=$work/floor
mkdir -p "$f/boot" "$f/agent"
javac -nowarn --release 17 -XDstringConcat=inline -d "$f/boot" "$here"/floor/floor/*.java &&
    javac -nowarn --release 17 -XDstringConcat=inline -cp "$asm:$f/boot" -d "$f/agent" "$here/floor/agent/Agent.java" &&
    (cd "$f/agent" && unzip -qo "$asm" 'org/*') &&
    printf 'Premain-Class: floor.agent.Agent\nCan-Retransform-Classes: true\nBoot-Class-Path: floor-boot.jar\n' >"$f/manifest" &&
    jar cfm "$f/floor.jar" "$f/manifest" -C "$f/agent" . && jar cf "$f/floor-boot.jar" -C "$f/boot" . ||
    { echo "floor.sh: building the floor agent failed" >&2; exit 1; }

declare -A flag=(
    [plain]=""
    [noshare]="-Xshare:off"
    [empty]="-javaagent:$f/floor.jar=empty"
    [empty_noshare]="-Xshare:off -javaagent:$f/floor.jar=empty"
    [empty_new]="-javaagent:$f/floor.jar=empty,new"
    [rewrite]="-javaagent:$f/floor.jar=rewrite"
    [hook]="-javaagent:$f/floor.jar=hook"
    [empty_cached]="-javaagent:$f/floor.jar=empty,cache=$work/cache.empty"
    [stack_cached]="-javaagent:$f/floor.jar=stack,cache=$work/cache.stack"
    [lookup_cached]="-javaagent:$f/floor.jar=lookup,cache=$work/cache.lookup"
    [global_cached]="-javaagent:$f/floor.jar=global,cache=$work/cache.global"
    [stack]="-javaagent:$f/floor.jar=stack"
    [agent]="-agentpath:$agent=Eprofiler=false"
    [agent_nolines]="-agentpath:$agent=Eprofiler=false,PRIInstrumentLines=false"
    [profiler]="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
    [profiler_nocalls]="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.calls=false,Eprofiler.html=\"\",Eprofiler.collapsed=\"\""
    [jfr]="-XX:StartFlightRecording=settings=profile,filename=$work/run.jfr")
for c in "${configs[@]}"; do
    [ -n "${flag[$c]+set}" ] || { echo "floor.sh: unknown configuration $c" >&2; exit 2; }
done

# java_in DIR ARGS...: java started in DIR. Checkstyle's exit status is its
# count of violations (modulo 256), so any status passes for it: the output
# comparison checks those runs.
java_in() {
    local dir=$1
    shift
    (cd "$dir" && exec "$java" "$@") || [ "$program" = checkstyle ]
}

# The program's own output: without JFR's start-up note. (h2's script
# prints nothing: its runs are checked by their exit status only.)
output() {
    sed '/^\[[0-9.]*s\]\[info\]\[jfr/d' "$1"
}

# run CONFIG [EXTRA...]: one timed run of $program into $program.CONFIG.s.
run() {
    local config=$1 dir=$work f=()
    shift
    read -ra f <<<"${flag[$config]}"
    [[ $config == profiler* ]] && dir=$work/profiled
    seconds "$program.$config" java_in "$dir" "${f[@]}" "$@" "${args[@]}"
    if [ "$config" = plain ] && [ ! -f "$work/$program.expected" ]; then
        output "$work/$program.$config.out" >"$work/$program.expected"
    elif ! output "$work/$program.$config.out" | cmp -s - "$work/$program.expected"; then
        echo "floor.sh: $program under $config printed other output than plain:" >&2
        output "$work/$program.$config.out" | diff "$work/$program.expected" - | head -5 >&2
        return 1
    fi
}

# jit CONFIG: the JIT's compile time and counts of one run (-XX:+CITime
# prints them on standard output at exit), and the floor agent's counts. The
# times are elapsed times, which a loaded machine stretches; the bytecode
# sizes compiled are not.
jit() {
    local f=()
    read -ra f <<<"${flag[$1]}"
    java_in "$work" "${f[@]}" -XX:+CITime "${args[@]}" >"$work/jit.out" 2>"$work/jit.err"
    awk -v c="$1" '
        /^  C[12] \{/ { n[$1] = $6; b[$1] = $8; m[$1] = $10 }
        /Total compilation time/ { t = $5 }
        END { printf "%s: JIT %s s (C1 %s s, %s methods, %s bytes; C2 %s s, %s methods, %s bytes)",
                    c, t, n["C1"], m["C1"], b["C1"], n["C2"], m["C2"], b["C2"] }' "$work/jit.out"
    grep -h '^floor ' "$work/jit.err" | sed 's/^/; /' | tr -d '\n'
    echo
}

cd "$work" || exit 1
header="| program | plain wall / CPU |"
rule="|---|---|"
for c in "${configs[@]:1}"; do header="$header $c |"; rule="$rule---|"; done
rows=() notes=()
for program in "${programs[@]}"; do
    program_command "$program" || { rows+=("| $program | skipped: package missing |"); continue; }
    # The cached configurations' first run fills their cache, untimed.
    for c in "${configs[@]}"; do
        [[ $c == *_cached ]] && { java_in "$work" ${flag[$c]} "${args[@]}" >/dev/null 2>"$work/fill.err" ||
            { echo "floor.sh: $program under $c failed: $(tail -3 "$work/fill.err")" >&2; continue 2; }; }
    done
    for round in $(seq "$rounds"); do
        for c in "${configs[@]}"; do run "$c" || continue 3; done
    done
    row="| $program |"
    pw=$(cut -d' ' -f1 "$program.plain.s" | median)
    pc=$(cut -d' ' -f2 "$program.plain.s" | median)
    row="$row $(awk -v w="$pw" -v u="$pc" 'BEGIN { printf "%.2f s / %.2f s", w, u }') |"
    for c in "${configs[@]:1}"; do
        w=$(cut -d' ' -f1 "$program.$c.s" | median)
        u=$(cut -d' ' -f2 "$program.$c.s" | median)
        row="$row $(awk -v w="$w" -v u="$u" -v pw="$pw" -v pu="$pc" 'BEGIN { printf "%.2f× / %.2f×", w / pw, u / pu }') |"
    done
    rows+=("$row")
    echo "$row   (load $(cut -d' ' -f1-3 /proc/loadavg))" >&2
    grep -h '^floor ' "$program".*.err | sort -u | sed "s/^/$program: /" >&2
    if [ "${FLOOR_JIT:-0}" = 1 ]; then
        jits=(plain empty agent)
        [[ " ${configs[*]} " == *" empty_cached "* ]] && jits=(plain empty empty_cached agent)
        for c in "${jits[@]}"; do notes+=("$program $(jit "$c")"); done
    fi
done
echo "$header"
echo "$rule"
printf '%s\n' "${rows[@]}"
echo
echo "(wall-time ratio / CPU-time ratio to plain; medians of $rounds alternating rounds; $("$java" -version 2>&1 | head -1))"
[ ${#notes[@]} -eq 0 ] || printf '%s\n' "" "${notes[@]}"
