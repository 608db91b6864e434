# Shared by the whole-run benchmark scripts (sourced).
# millis COMMAND...: wall time of one run in milliseconds, output discarded;
# a failing run stops the script.
millis() {
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || { echo "run failed: $*" >&2; exit 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

# median: of the numbers on standard input, one per line.
median() {
    sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# bench_build "$@": the scripts' common start. Without arguments it prints
# the script's header comment (through its Usage line) and exits 2; else it
# sets build to the build folder given first, made absolute.
bench_build() {
    if [ $# -lt 1 ]; then
        sed -n '2,/^# Usage:/p' "$0"
        exit 2
    fi
    build=$(cd "$1" && pwd)
}

# bench_need FILE...: stops the script, naming the first file the build lacks.
bench_need() {
    local f
    for f in "$@"; do
        [ -f "$f" ] || { echo "$(basename "$0"): $f is missing; build first" >&2; exit 1; }
    done
}

# seconds NAME COMMAND...: appends "wall cpu" (seconds; CPU is user + sys) of
# one run to NAME.s in the current folder; the run's output goes to
# $work/NAME.out and .err, and a failing run stops the script.
seconds() {
    local name=$1 TIMEFORMAT='%R %U %S' line
    shift
    line=$({ time "$@" >"$work/$name.out" 2>"$work/$name.err"; } 2>&1) || { echo "run failed: $*" >&2; exit 1; }
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' <<<"$line" >>"$name.s"
}

# report BASE CONFIG...: the median wall and CPU time of BASE and of each
# configuration (their runs in NAME.s), with the ratios to BASE.
report() {
    local pwall pcpu wall cpu config
    pwall=$(cut -d' ' -f1 "$1.s" | median) pcpu=$(cut -d' ' -f2 "$1.s" | median)
    for config in "$@"; do
        wall=$(cut -d' ' -f1 "$config.s" | median) cpu=$(cut -d' ' -f2 "$config.s" | median)
        awk -v c="$config" -v w="$wall" -v u="$cpu" -v pw="$pwall" -v pu="$pcpu" \
            'BEGIN { printf "  %-18s wall %7.3f s (%.2fx)   cpu %7.3f s (%.2fx)\n", c, w, w / pw, u, u / pu }'
    done
}

# hello_program WORK INSTALL: a hello-world program compiled into WORK/classes,
# and WORK/profiled/.zv_audit naming INSTALL: runs started in WORK/profiled
# find the installation through it, and so the profiler. Sets flag, the VM
# flag of each configuration: plain, agent (alone) and profiler (CPU mode, 10 ms).
hello_program() {
    mkdir -p "$1/classes" "$1/profiled"
    cat >"$1/Hello.java" <<'JAVA'
public class Hello { public static void main(String[] args) { System.out.println("hello"); } }
JAVA
    "${JAVAC:-javac}" -d "$1/classes" "$1/Hello.java"
    echo "{DuvOzurivud3.0=\"$2\";}" >"$1/profiled/.zv_audit"
    local agent=$2/lib/libr2orar.so
    declare -gA flag=(
        [plain]=""
        [agent]="-agentpath:$agent=Eprofiler=false"
        [profiler]="-agentpath:$agent=Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.html=\"\",Eprofiler.collapsed=\"\"")
}
