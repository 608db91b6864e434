#!/usr/bin/env bash
# Start-up of a hello-world program in instructions, which other load on the
# machine does not change: callgrind counts every thread's instructions of
# one interpreted run (-Xint, so that no compiler thread's timing moves the
# count) plainly, without class data sharing (which the agent's early
# class-load hook turns off), with the agent and with the agent and the
# shipped profiler. For the agent's run it also gives the parts of what the
# agent adds: its class-load hook, the redefinition of the start-up classes
# (which includes the hook's second offer of each) and the class-load events.
# About a minute per run. Needs valgrind.
# Usage: bench/startup_instructions.sh BUILD_DIR [CONFIG...]   (JAVA names the java program;
#        configurations: plain noshare agent profiler, all by default)
set -euo pipefail
. "$(dirname "$0")/timing.sh"

bench_build "$@"
shift
configs=("$@")
[ ${#configs[@]} -gt 0 ] || configs=(plain noshare agent profiler)
java=${JAVA:-java}
install=$build/zenva
agent=$install/lib/libr2orar.so
bench_need "$agent"
command -v valgrind >/dev/null || { echo "$(basename "$0"): valgrind is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zv_startup_ir.XXXXXX")
trap 'rm -rf "$work"' EXIT
hello_program "$work" "$install"
flag[noshare]="-Xshare:off"

# inclusive FILE TEXT: the instructions of the costliest function whose line
# holds TEXT, with its callees.
inclusive() {
    callgrind_annotate --inclusive=yes "$1" 2>/dev/null |
        awk -v t="$2" '!found && index($0, t) { gsub(",", "", $1); n = $1; found = 1 } END { print n + 0 }'
}

plain=
for c in "${configs[@]}"; do
    [ -n "${flag[$c]+set}" ] || { echo "unknown configuration: $c" >&2; exit 2; }
    f=()
    [ -n "${flag[$c]}" ] && f=("${flag[$c]}")
    dir=$work
    [ "$c" = profiler ] && dir=$work/profiled
    out=$work/$c.cg
    (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file="$out" "$java" -Xint "${f[@]}" \
        -cp "$work/classes" Hello >/dev/null 2>"$work/$c.err") || { echo "$c: run failed: $(tail -3 "$work/$c.err")" >&2; exit 1; }
    total=$(awk '/^summary:/ { print $2 }' "$out")
    [ "$c" = plain ] && plain=$total
    awk -v c="$c" -v t="$total" -v p="${plain:-0}" \
        'BEGIN { printf "%-9s %7.1f M instructions", c, t / 1e6; if (p > 0) printf "  (%+.1f M over plain)", (t - p) / 1e6; printf "\n" }'
    if [ "$c" = agent ]; then
        hook=$(inclusive "$out" "ZVHandleClassLoadHook(")
        redefine=$(inclusive "$out" "VM_RedefineClasses::load_new_class_versions")
        doit=$(inclusive "$out" "VM_RedefineClasses::doit()")
        events=$(inclusive "$out" "JvmpiDeliverClassLoad(JNIEnv")
        awk -v h="$hook" -v r="$((redefine + doit))" -v e="$events" \
            'BEGIN { printf "          class-load hook %.1f M (every offer); redefining the start-up classes %.1f M (the VM, with the hook'"'"'s second offers); class-load events %.1f M\n", h / 1e6, r / 1e6, e / 1e6 }'
    fi
done
