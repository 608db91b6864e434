#!/usr/bin/env bash
# End-to-end runs of a real java with the agent: run_java.sh CASE
# Needs ZV_JAVA (the java program), ZV_LIB (the installation's lib directory
# with libr2orar.so and the jars), ZV_CLASSES (the test programs), ZV_EXTENSION
# (the test library: extension and the programs' JNI probe), ZV_SOURCE (the source tree), ZV_DEMO_JAR,
# ZV_PATCHED_THREAD_DIR (java/lang/Thread rewritten at build time), ZV_JUNIT_JAR and
# ZV_JUNIT_CLASSES (JUnit 3 and a test compiled against it), and for a
# sanitized agent ZV_PRELOAD (the sanitizer runtimes java must preload).
set -uo pipefail
source "$(dirname "$0")/profiled.sh"

case_name=${1:?usage: run_java.sh CASE}
# use_vm JAVA: the java program the runs start, with the preloads it needs.
use_vm() {
    java=("$1")
    if [ -n "${ZV_PRELOAD:-}" ]; then
        java=(env "LD_PRELOAD=$ZV_PRELOAD" "${java[@]}")
    fi
}
use_vm "${ZV_JAVA:-java}"

# use_jdk25: the runs of a *_jdk25 case start JDK 25; without it the case is skipped.
use_jdk25() {
    if [ -z "${ZV_JAVA25:-}" ]; then
        echo "SKIP: no JDK 25 on this machine"
        exit 0
    fi
    use_vm "$ZV_JAVA25"
}
agent=$ZV_LIB/libr2orar.so
work=$(mktemp -d "${TMPDIR:-/tmp}/zv-e2e.XXXXXX")
trap 'rm -rf "$work"' EXIT
# The installation's profiler writes its files into the working directory.
cd "$work" || exit 1
# The agent must find its installation without help from the user's setup.
unset ZENVA_HOME
export HOME=$work

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# run NAME ARGS...: java with a time limit; output in $work/NAME.{out,err,rc}.
run() {
    local name=$1
    shift
    timeout "${run_limit:-60}" "${java[@]}" -Xverify:all "$@" >"$work/$name.out" 2>"$work/$name.err"
    echo $? >"$work/$name.rc"
}

show() {
    echo "--- $1 stdout"; cat "$work/$1.out"
    echo "--- $1 stderr"; head -c 4000 "$work/$1.err"; echo
}

expect_rc() {
    local rc
    rc=$(cat "$work/$1.rc")
    [ "$rc" = "$2" ] || fail "$1: exit status $rc, expected $2"
}

# expect_line NAME STREAM TEXT: a whole line of out or err equals TEXT.
expect_line() {
    grep -qxF -- "$3" "$work/$1.$2" || fail "$1: no $2 line '$3'"
}

expect_text() {
    grep -qF -- "$3" "$work/$1.$2" || fail "$1: $2 lacks '$3'"
}

# big_methods DIR: writes and compiles cpu.BigMethods, whose methods of 30
# and 55 KB sit in one loop (with a switch: code stays aligned) or in one if.
big_methods() {
    mkdir -p "$1/cpu"
    awk 'function body(n, k) { for (k = 0; k < n; k++) printf "            s = s * 31 + %d;\n", k % 1000 }
    BEGIN {
        print "package cpu;\n\nfinal class BigMethods {"
        for (m = 0; m < 2; m++) {
            n = m == 0 ? 3400 : 6000
            printf "    static int loop%d(int count) {\n        int s = 0;\n        for (int i = 0; i < count; i++) {\n", n
            print "            switch (i & 3) {\n            case 0: s += 1; break;\n            case 1: s += 2; break;\n            default: s += 3;\n            }"
            body(n)
            print "            if (i == count - 1) {\n                StackCheck.check(\"loop\");\n            }\n        }\n        return s;\n    }"
            printf "    static int branch%d(int x) {\n        int s = x;\n        if (x > 0) {\n", n
            body(n)
            print "            StackCheck.check(\"if\");\n        }\n        return s;\n    }"
        }
        print "    public static void main(String[] args) {"
        print "        System.out.println(\"loops \" + loop3400(3) + \" \" + loop6000(2));"
        print "        System.out.println(\"ifs \" + branch3400(5) + \" \" + branch6000(7) + \" \" + branch6000(-1));"
        print "        System.exit(StackCheck.report() ? 0 : 1);\n    }\n}"
    }' >"$1/cpu/BigMethods.java"
    "${java[@]}" -m jdk.compiler/com.sun.tools.javac.Main -cp "$ZV_CPU_CLASSES" -d "$1" "$1/cpu/BigMethods.java"
}

refuse_text() {
    if grep -qF -- "$3" "$work/$1.$2"; then fail "$1: $2 has '$3'"; fi
}

# Lines of the first match of each text, in order.
expect_order() {
    local name=$1 stream=$2
    shift 2
    local previous=0 text line
    for text in "$@"; do
        line=$(grep -nF -- "$text" "$work/$name.$stream" | head -1 | cut -d: -f1)
        if [ -z "$line" ]; then
            fail "$name: $stream lacks '$text'"
            return
        fi
        [ "$line" -gt "$previous" ] || fail "$name: '$text' is out of order"
        previous=$line
    done
}


# attach_flow: a program started plainly gets the agent through zvtool
# attach, then its profile is dumped, reset, stopped and started over the
# audit port; a second attach changes nothing; the program's output stays its own.
attach_flow() {
    local port=$((20000 + RANDOM % 30000)) base=$work/phase zvtool=$ZV_ZVTOOL
    run_limit=150 run plain -cp "$ZV_CLASSES" e2e.Attached "$base" &
    local runner=$!
    for _ in $(seq 1 300); do grep -q '^workload started$' "$work/plain.out" 2>/dev/null && break; sleep 0.1; done
    pid=$(pgrep -f "^[^ ]*java .*e2e.Attached $base")
    "$zvtool" attach "$pid" "port=$port,Eprofiler.period=5" --agent "$agent" >"$work/attach.out" 2>&1 ||
        fail "attach: $(cat "$work/attach.out")"
    dump() { "$zvtool" profile dump --port "$port" --kind "$1" --out "$work/$2" >/dev/null 2>"$work/dump.err" ||
        fail "dump $2: $(cat "$work/dump.err")"; }
    # phase N: the program runs its call pattern once more; waits for its line.
    phase() {
        touch "$base.$1"
        for _ in $(seq 1 300); do grep -q "^pattern $1: " "$work/plain.out" && break; sleep 0.1; done
    }
    calls() { awk -v m="e2e.Attached.$2" '/^Calls, most called first/ { on = 1 } on && $2 == m { n = $1 } END { print n + 0 }' "$work/$1"; }
    local stacks=""
    for _ in $(seq 1 100); do
        dump collapsed live.collapsed
        stacks=$(grep -c '^e2e\.Attached\.round;e2e\.Attached\.spin ' "$work/live.collapsed")
        [ "$stacks" -gt 0 ] && break
        sleep 0.2
    done
    [ "$stacks" -gt 0 ] || fail "attach: no round;spin stack in the profile: $(head -5 "$work/live.collapsed")"
    phase 1
    dump text one.txt
    [ "$(calls one.txt pattern)/$(calls one.txt leaf)" = 1000/1000000 ] ||
        fail "attach: pattern and leaf calls $(calls one.txt pattern)/$(calls one.txt leaf), expected 1000/1000000"
    # After a reset the counts start from zero.
    "$zvtool" profile reset --port "$port" >"$work/reset.out" 2>&1 || fail "reset: $(cat "$work/reset.out")"
    phase 2
    dump text two.txt
    [ "$(calls two.txt pattern)" = 1000 ] || fail "reset: $(calls two.txt pattern) calls of pattern, expected 1000"
    # Stopped: no samples and no calls are added.
    "$zvtool" profile stop --port "$port" >"$work/stop.out" 2>&1 || fail "stop: $(cat "$work/stop.out")"
    expect_line stop out "sampling stopped"
    dump collapsed stopped1.collapsed
    phase 3
    sleep 0.5
    dump collapsed stopped2.collapsed
    dump text three.txt
    cmp -s "$work/stopped1.collapsed" "$work/stopped2.collapsed" || fail "stop: samples were added while stopped"
    [ "$(calls three.txt pattern)" = 1000 ] || fail "stop: $(calls three.txt pattern) calls of pattern, expected 1000"
    "$zvtool" profile start --port "$port" >"$work/start.out" 2>&1 || fail "start: $(cat "$work/start.out")"
    expect_line start out "sampling on"
    sleep 0.5
    dump collapsed started.collapsed
    cmp -s "$work/stopped2.collapsed" "$work/started.collapsed" && fail "start: no samples after the start"
    # A second attach says so and changes nothing.
    "$zvtool" attach "$pid" "port=$port" --agent "$agent" >"$work/again.out" 2>&1 && fail "attach: a second attach succeeded"
    expect_line again out "zvtool attach: the agent is loaded in VM $pid already; nothing changed"
    touch "$base.stop"
    wait "$runner"
    expect_rc plain 0
    printf 'workload started\npattern 1: 500500000\npattern 2: 500500000\npattern 3: 500500000\nworkload ended\n' |
        cmp -s - "$work/plain.out" || fail "attach: the program's output changed"
    expect_text plain err "Zentrova: attached; "
}

case $case_name in
options_string)
    run opts "-agentpath:$agent=port=1500,log=true" -cp "$ZV_CLASSES" e2e.Hello
    expect_rc opts 0
    expect_line opts err "Port 1500"
    expect_line opts err "Zentrova Request Analyzer enabled"
    expect_line opts out "sum of squares: 333833500"
    expect_line opts err "No XML configuration specified, using old style parameters..."
    # An empty value is named; the other options still take.
    run empty "-agentpath:$agent=filter=,log=true" -cp "$ZV_CLASSES" e2e.Hello
    expect_rc empty 0
    expect_line empty err "Invalid value for filter: '' (expected a value after '=')"
    expect_line empty err "Zentrova Error: options refused (see above); their defaults are used"
    expect_line empty err "Zentrova Request Analyzer enabled"
    ;;
options_xml)
    # The example works from another directory: its filter file is read beside it.
    mkdir -p "$work/conf"
    cp "$ZV_SOURCE/examples/zentrova.xml" "$ZV_SOURCE/examples/filters.txt" "$work/conf/"
    (cd "$work" && run xml "-agentpath:$agent=conf/zentrova.xml" -Dzenva.test.echo=true -cp "$ZV_CLASSES" e2e.Hello)
    expect_rc xml 0
    expect_line xml err "Zentrova using filter file 'conf/filters.txt'"
    expect_line xml err "Port 1500"
    expect_text xml out "Main.setVMName(orders-service)"
    expect_line xml out "zenva.scanForFreePort=1510"
    refuse_text xml err "No XML configuration specified"
    ;;
second_agent)
    run twice "-agentpath:$agent=port=1500" "-agentpath:$agent=port=1600" -Dzenva.test.echo=true \
        -cp "$ZV_CLASSES" e2e.Hello
    expect_rc twice 0
    expect_text twice err "Zentrova Configuration Error:"
    expect_text twice err "-Xrun... parameter was specified more than once."
    [ "$(grep -c "Zentrova Configuration Error" "$work/twice.err")" = 1 ] || fail "twice: banner not once"
    expect_text twice out "Audit.start(port=1500,"
    expect_line twice out "sum of squares: 333833500"
    ;;
vm_init)
    run init "-agentpath:$agent=port=1500-1510,vmName=orders" -Dzenva.test.echo=true \
        -cp "$ZV_CLASSES" e2e.Hello
    expect_rc init 0
    expect_order init out "zenva: Main.setVMName(orders)" "zenva: Main.setSNMPAgentPort(161)" \
        "zenva: Main.setSNMPTrapPort(162)" "zenva: Audit.start(port=1500," "sum of squares"
    expect_line init out "AUDIT=z2a"
    expect_line init out "zenva.scanForFreePort=1510"
    # A single port leaves the scan property alone. The agent's class-path
    # classes are defined without the class loader opening zenva.jar.
    run single "-agentpath:$agent=port=1500" -Xlog:class+load -cp "$ZV_CLASSES" e2e.Hello
    expect_line single out "AUDIT=z2a"
    expect_line single out "zenva.scanForFreePort=null"
    expect_text single out "meridyn.audit.Native source: jdk.internal.loader.ClassLoaders\$AppClassLoader"
    grep -q " java.util.jar.JarFile " "$work/single.out" && fail "single: the class loader opened a jar"
    ;;
threads)
    # The probe's handler table sees the class loads: the installation's
    # profiler, which installs its own, stays out.
    # Once it has unloaded a class it waits for two data-dump requests.
    timeout 90 "${java[@]}" -Xverify:all "-agentpath:$agent=Eprofiler=false" "-Dzv.probe=$ZV_EXTENSION" \
        -cp "$ZV_CLASSES" e2e.Threads >"$work/threads.out" 2>"$work/threads.err" &
    pid=$!
    for _ in $(seq 600); do
        grep -q ready "$work/threads.out" 2>/dev/null && break
        sleep 0.1
    done
    # To java itself: timeout would pass the signal on to its whole group as well.
    kill -QUIT "$(pgrep -P $pid)"
    wait $pid
    echo $? >"$work/threads.rc"
    expect_rc threads 0
    expect_line threads out "loaded: true"
    expect_line threads out "unloaded: true"
    expect_line threads out "dump requests: 2"
    expect_line threads out "main: main|system~main"
    expect_line threads out "self: worker-a|system~main~outer"
    expect_line threads out "self: worker-b|system~main~outer~inner"
    expect_line threads out "registered: worker-a|system~main~outer"
    expect_line threads out "registered: worker-b|system~main~outer~inner"
    refuse_text threads out "still registered:"
    expect_line threads out "started: worker-a,worker-b"
    expect_text threads out "ended: worker-"
    expect_text threads out "worker-a"
    # Source file, method count and the first line of main, from the line table.
    main_line=$(grep -nF "Probe.install();" "$ZV_SOURCE/tests/e2e/java/e2e/Threads.java" | cut -d: -f1)
    expect_line threads out "class e2e.Threads: Threads.java|8|$main_line"
    expect_text threads out "class java.lang.Object: Object.java|"
    expect_line threads out "system thread: started|found|__ZV__sampler|system~main"
    # Events the agent leaves off unless a listener asks: collections,
    # sampled allocations, and method entry and exit (or their refusal).
    expect_text threads out "granted: gc 1, allocations 1, methods "
    expect_line threads out "gc: true true true"
    expect_line threads out "allocations: true true"
    expect_line threads out "methods: true"
    ;;
same_output)
    # Nothing but -agentpath, from an empty directory: the agent finds its
    # installation from its own library, the profiler writes its three files
    # there, and its notes leave the program's output alone.
    run plain -jar "$ZV_DEMO_JAR"
    mkdir "$work/empty"
    (cd "$work/empty" && run agent "-agentpath:$agent" -jar "$ZV_DEMO_JAR")
    expect_rc plain 0
    expect_rc agent 0
    refuse_text agent err "Can't find Zentrova install location"
    for file in zvprofile.txt zvprofile.collapsed zvprofile.html; do
        [ -s "$work/empty/$file" ] || fail "agent: no $file in the working directory"
    done
    # The agent's notes go to standard error: the program's output is its own.
    diff "$work/plain.out" "$work/agent.out" >"$work/diff" || { fail "program output differs"; cat "$work/diff"; }
    [ -s "$work/plain.out" ] || fail "the demo printed nothing"
    ;;
boot_class_path)
    run explicit "-Xbootclasspath/a:$ZV_LIB/zvbcp.jar" "-agentpath:$agent" -Dzenva.test.echo=true \
        -cp "$ZV_LIB/zenva.jar:$ZV_CLASSES" e2e.Hello
    expect_rc explicit 0
    expect_text explicit out "zenva: Audit.start(port=1473,"
    ;;
missing_zenva_jar)
    mkdir -p "$work/install/lib"
    cp "$agent" "$ZV_LIB/zvbcp.jar" "$work/install/lib/"
    run missing "-agentpath:$work/install/lib/libr2orar.so" -cp "$ZV_CLASSES" e2e.Hello
    expect_rc missing 1
    expect_line missing err \
        "ZV: Zentrova Audit System classes not found. The CLASSPATH should include zenva.jar (1)"
    refuse_text missing out "sum of squares"
    ;;
cpu_stacks | cpu_stacks_jdk25)
    [[ $case_name == *_jdk25 ]] && use_jdk25
    run plain -cp "$ZV_CPU_CLASSES" cpu.CpuProgram
    expect_rc plain 0
    run lines "-agentpath:$agent" -cp "$ZV_CPU_CLASSES" cpu.CpuProgram
    expect_rc lines 0
    cmp -s "$work/plain.out" "$work/lines.out" || fail "output differs under the agent"
    expect_text lines err "stack checks: "
    expect_text lines err " run, 0 failed"
    run methods "-agentpath:$agent=PRIInstrumentLines=false" -Dcpu.lines=false -cp "$ZV_CPU_CLASSES" cpu.CpuProgram
    expect_rc methods 0
    expect_text methods err " run, 0 failed"
    cmp -s "$work/plain.out" "$work/methods.out" || fail "output differs under the agent without line probes"
    # Methods whose loop or if spans 30 to 55 KB keep their frames: the
    # inserted code pushes their branches out of 16-bit reach. (Line probes
    # are thinned there, so frames are compared without lines.)
    big_methods "$work/big" || fail "BigMethods did not compile"
    run big-plain -cp "$ZV_CPU_CLASSES:$work/big" cpu.BigMethods
    run big "-agentpath:$agent" -Dcpu.lines=false -cp "$ZV_CPU_CLASSES:$work/big" cpu.BigMethods
    expect_rc big-plain 0
    expect_rc big 0
    cmp -s "$work/big-plain.out" "$work/big.out" || fail "big methods: output differs under the agent"
    expect_line big err "stack checks: 4 run, 0 failed"
    refuse_text big err "left uninstrumented"
    ;;
startup_classes | startup_classes_jdk25)
    # Classes the VM loaded while it started are instrumented once it is live:
    # HashMap.merge has its frame and exact call count in the profile. An
    # empty finalize() stays empty, so its class stays without finalizer.
    [[ $case_name == *_jdk25 ]] && use_jdk25
    run plain -cp "$ZV_CLASSES" e2e.StartupClasses
    (cd "$work" && run agent "-agentpath:$agent=Eprofiler.period=1" -cp "$ZV_CLASSES" e2e.StartupClasses)
    expect_rc plain 0
    expect_rc agent 0
    expect_line plain out "freed by one collection: true"
    cmp -s "$work/plain.out" "$work/agent.out" || fail "output differs under the agent"
    grep -qE "^ +3000000  java\.util\.HashMap\.merge$" "$work/zvprofile.txt" || fail "HashMap.merge: not 3000000 calls"
    grep -qE "(^|;)java\.util\.HashMap\.merge[; ]" "$work/zvprofile.collapsed" || fail "HashMap.merge: no frame"
    # Some start-up classes are linked by their redefinition (those of call
    # sites and lambda forms, sampled while the method reference and the
    # string concatenation are linked): every frame has its name.
    grep -q "java\.lang\.invoke\.CallSite\.makeSite" "$work/zvprofile.collapsed" || fail "no CallSite.makeSite frame"
    refuse_text zvprofile collapsed "method#"
    ;;
missing_zvbcp_jar)
    # Instrumented code calls the context class: without it on the boot
    # class path the agent stops the VM before any such code can run.
    mkdir -p "$work/install/lib"
    cp "$agent" "$ZV_LIB/zenva.jar" "$work/install/lib/"
    run nobcp "-agentpath:$work/install/lib/libr2orar.so" -cp "$ZV_CLASSES" e2e.Hello
    expect_rc nobcp 1
    expect_line nobcp err "You have not correctly pointed the boot-classpath at Zentrova's zvbcp.jar file"
    refuse_text nobcp out "sum of squares"
    ;;
xrun)
    # -Xrun loads the library after the VM's load phase: the emulation attaches late.
    LD_LIBRARY_PATH=$ZV_LIB run xrun -Xrunr2orar -cp "$ZV_CLASSES" e2e.Hello
    expect_rc xrun 0
    expect_line xrun err "Load the agent with -agentpath:<ZenVaDir>/lib/libr2orar.so=OPTIONS instead of -Xrun."
    expect_line xrun out "sum of squares: 333833500"
    refuse_text xrun err "Cannot find JVMPI"
    ;;
context_natives)
    # Events without a stack name make markers with none, and say so.
    run natives "-agentpath:$agent" -cp "$ZV_CLASSES" e2e.ContextNatives
    expect_rc natives 0
    expect_line natives out "markers: c0000001 true c0000002 c0000003 true"
    expect_line natives out "backtrace id: 0"
    expect_line natives out "contexts: true true true"
    expect_line natives err "cr8M: Could not find a stack name for event 0x3"
    expect_line natives err "cM: Could not find a stack name for event 0x4"
    ;;
backtraces)
    # Contexts found through the agent's slots, then through the rewritten Thread.
    echo '{ Content = ( { grp = t; cnd = { Name = "Parked"; PatternList = ("e2e.Grouped.*"); } } ); }' >"$work/group.txt"
    # The probe samples on its own: the installation's profiler, a second
    # sampler of the same marks, stays out.
    run traces "-agentpath:$agent=filter=$work/group.txt,Eprofiler=false" "-Dzv.probe=$ZV_EXTENSION" -cp "$ZV_CLASSES" e2e.Backtraces
    run traces-thread "-agentpath:$agent=filter=$work/group.txt,Eprofiler=false" "-Dzv.probe=$ZV_EXTENSION" --patch-module "java.base=${ZV_PATCHED_THREAD_DIR:?}" \
        --add-reads java.base=ALL-UNNAMED "-Xbootclasspath/a:$ZV_LIB/zvbcp.jar" -cp "$ZV_CLASSES" e2e.Backtraces
    for name in traces traces-thread; do
        expect_rc "$name" 0
        expect_line "$name" out "shallow: true true true true true"
        expect_line "$name" out "deep: 7400 true true"
        expect_line "$name" out 'marker: {k="_@";v=("wait \"here\" \u00E9");}'
        expect_line "$name" out "sampled: 1 true 0 1 true"
        expect_line "$name" out 'grouped: true Parked true'
        expect_line "$name" out "named: true"
        expect_line "$name" out "context: a ZVContext, kept"
    done
    ;;
thread_context)
    # The natives rewrite the VM's own Thread (once: a rewritten one is left
    # alone); that and the build's copy both run. java.base must read the
    # unnamed module that holds ZVContext.
    patch=(--add-reads java.base=ALL-UNNAMED "-Xbootclasspath/a:$ZV_LIB/zvbcp.jar")
    run rewrite "-agentpath:$agent" -cp "$ZV_LIB/zenva.jar" meridyn.audit.instr.PreInstrumentation "$work/patch"
    expect_line rewrite out "java/lang/Thread: written to $work/patch/java/lang/Thread.class"
    expect_line rewrite out "java/io/ObjectStreamClass: written to $work/patch/java/io/ObjectStreamClass.class"
    run again "-agentpath:$agent" --patch-module "java.base=$work/patch" "${patch[@]}" -cp "$ZV_LIB/zenva.jar" \
        meridyn.audit.instr.PreInstrumentation "$work/again"
    expect_line again out "java/lang/Thread: unchanged"
    for dir in "$work/patch" "${ZV_PATCHED_THREAD_DIR:?}"; do
        name=context-$(basename "$dir")
        run "$name" --patch-module "java.base=$dir" "${patch[@]}" -cp "$ZV_CLASSES" e2e.ThreadContext
        expect_rc "$name" 0
        expect_line "$name" out "context: meridyn.audit.profiler.ZVContext, kept: true, in the field: true, another thread's own: true"
        expect_line "$name" out "modifiers: public transient | public static transient | public static final synthetic"
    done
    ;;
verify_jars)
    # Every class of some real libraries is linked, so verified, in a loader
    # over the jar and what it needs; the agent must not fail a single one
    # that loads without it.
    lib=/usr/share/java mvn=/usr/share/maven
    jars=("$lib/guava.jar" "$lib/commons-lang3.jar" "$lib/asm.jar"
          "$lib/asm-commons.jar:$lib/asm-tree.jar:$lib/asm.jar:$lib/asm-analysis.jar"
          "$lib/guice.jar:$lib/atinject-jsr330-api.jar:$lib/aopalliance.jar:$lib/guava.jar"
          "$mvn/lib/maven-core-3.x.jar$(printf ':%s' "$mvn"/lib/*.jar "$mvn"/boot/*.jar)")
    run plain -cp "$ZV_CLASSES" e2e.VerifyJars "${jars[@]}"
    run agent "-agentpath:$agent" -Xlog:class+resolve=debug:file="$work/resolve.log" \
        -cp "$ZV_CLASSES" e2e.VerifyJars "${jars[@]}"
    expect_rc plain 0
    expect_rc agent 0
    [ "$(wc -l <"$work/plain.out")" = ${#jars[@]} ] || fail "plain: not every jar was tried"
    cmp -s "$work/plain.out" "$work/agent.out" || fail "the counts differ under the agent"
    refuse_text agent err "verify error: "
    failed() { grep -E "^(verify|other) error: " "$work/$1.err"; }
    cmp -s <(failed plain) <(failed agent) || fail "other classes fail under the agent"
    # The libraries' own code ran instrumented: it called into the context.
    for package in com.google.common org.apache.commons.lang3 com.google.inject org.apache.maven; do
        grep -qE "\] $package\.[^ ]* meridyn\.audit\.profiler\.ZVContext( |$)" "$work/resolve.log" ||
            fail "no class of $package called the context"
    done
    ;;
real_programs)
    # Real programs under the agent behave as without it: javac writes the
    # same class files, mvn -v says the same.
    sources=("$ZV_SOURCE"/tests/e2e/java/e2e/*.java "$ZV_SOURCE"/tests/e2e/java/cpu/*.java)
    javac=(-m jdk.compiler/com.sun.tools.javac.Main -cp "$ZV_LIB/zvbcp.jar")
    java17=("${java[@]}")
    for vm in 17 ${ZV_JAVA25:+25}; do
        [ "$vm" = 25 ] && use_vm "$ZV_JAVA25"
        run "javac$vm-plain" "${javac[@]}" -d "$work/plain$vm" "${sources[@]}"
        run "javac$vm-agent" "-agentpath:$agent" "${javac[@]}" -d "$work/agent$vm" "${sources[@]}"
        expect_rc "javac$vm-plain" 0
        expect_rc "javac$vm-agent" 0
        diff -r "$work/plain$vm" "$work/agent$vm" || fail "javac on $vm: class files differ under the agent"
        [ "$(find "$work/agent$vm" -name '*.class' | wc -l)" -ge ${#sources[@]} ] || fail "javac on $vm: too few classes"
    done
    java=("${java17[@]}")
    maven=(-classpath "$(echo /usr/share/maven/boot/plexus-classworlds-*.jar)" -Dclassworlds.conf=/usr/share/maven/bin/m2.conf
           -Dmaven.home=/usr/share/maven -Dmaven.multiModuleProjectDirectory="$work"
           org.codehaus.plexus.classworlds.launcher.Launcher -v)
    run mvn-plain "${maven[@]}"
    run mvn-agent "-agentpath:$agent" "${maven[@]}"
    expect_rc mvn-plain 0
    expect_rc mvn-agent 0
    expect_text mvn-plain out "Apache Maven "
    cmp -s "$work/mvn-plain.out" "$work/mvn-agent.out" || fail "mvn -v: output differs under the agent"
    ;;
extensions)
    # An installation with an extension table: the test extension under three
    # names, one excluded by the options, and a fourth name with no library.
    install=$work/install
    mkdir -p "$install/lib" "$install/ext/darara/lib" "$install/ext/darara/audit"
    cp "$ZV_LIB"/* "$install/lib/"
    for name in first second skipped; do cp "$ZV_EXTENSION" "$install/ext/darara/lib/zen_${name}dev_i.so"; done
    cat >"$install/ext/darara/audit/extensions.table" <<'TABLE'
(
  {libraryName=first; initArgs={greeting=table; reportErrors=1; handlers=true;};},
  {libraryName=missing;},
  {libraryName=skipped;},
  {libraryName=second; initArgs={order=1;};}
)
TABLE
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
    run ext "-agentpath:$install/lib/libr2orar.so=Efirst.greeting=options,Eskipped=false,reportErrors=false" \
        -cp "$ZV_CLASSES" e2e.Hello
    expect_rc ext 0
    expect_line ext out "sum of squares: 333833500"
    expect_line ext err \
        "Could not load the dll <$install/ext/darara/lib/zen_missingdev_i> or dll is missing function named <ZVInitFunction>"
    expect_line ext err "2 Extension(s) Activated."
    # Shared defaults override the table's own arguments, the options' own ones override both.
    expect_line ext out "ext first: init id=7 constant=2 vm=yes args={greeting=options;handlers=true;reportErrors=0;}"
    expect_line ext out "ext second: init id=8 constant=2 vm=yes args={order=1;reportErrors=0;}"
    refuse_text ext out "ext skipped"
    for name in first second; do
        expect_line ext out "ext $name: services: ok"
        expect_line ext out "ext $name: filters: cpu 0, ignores 1 0"
    done
    expect_order ext out "ext first: init" "ext second: init" "ext first: javaInit" \
        "ext first: extensionAdded recorder.Backend" "ext first: extensionAdded -" \
        "ext second: javaInit" \
        "ext first: hook -1 e2e/Hello" "ext first: hook 1 e2e/Hello" "ext first: classLoaded e2e.Hello" \
        "ext first: shutdown: hooks -1 "
    # Order 1 asks for the hook after the agent's instrumentation only.
    expect_line ext out "ext second: hook 1 e2e/Hello"
    refuse_text ext out "ext second: hook -1"
    expect_line ext out "ext second: classLoaded e2e.Hello"
    ;;
profiler)
    # The build tree's installation, found through the audit file, loads the
    # profiler from its extension table (the split runs find it from the
    # agent's own place). Two threads spin 7 and 3 parts of CPU time; then a
    # known call pattern; then the program waits for a snapshot over the
    # audit port.
    install=$(dirname "$ZV_LIB")
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
    src=$ZV_SOURCE/tests/e2e/java/e2e/HotSpots.java
    port=$((20000 + RANDOM % 30000))
    outputs="Eprofiler.text=$work/p.txt,Eprofiler.collapsed=$work/p.collapsed,Eprofiler.html=$work/p.html"
    outputs+=",Eprofiler.pprof=$work/p.pb.gz"
    run hot "-agentpath:$agent=port=$port-$((port + 30)),Eprofiler.period=10,$outputs" -Dzenva.test.echo=true \
        -cp "$ZV_CLASSES" e2e.HotSpots "$work/stop" &
    pid=$!
    listen=""
    for _ in $(seq 1 600); do
        listen=$(sed -n 's/^zenva: AuditPort.listen(port=\([0-9]*\))$/\1/p' "$work/hot.out")
        [ -n "$listen" ] && grep -q '^pattern: ' "$work/hot.out" && break
        sleep 0.1
    done
    if [ -z "$listen" ]; then
        fail "hot: the audit port did not listen"
    else
        "$ZV_ZVTOOL" snapshot --port "$listen" --out "$work/live.collapsed" >"$work/snap.out" 2>&1 ||
            fail "snapshot: $(cat "$work/snap.out")"
        grep -q 'e2e.HotSpots.spinLong' "$work/live.collapsed" || fail "snapshot: no spinLong stack"
        "$ZV_ZVTOOL" snapshot --port "$listen" --kind pprof --out "$work/live.pb.gz" >/dev/null 2>&1 &&
            gzip -t "$work/live.pb.gz" || fail "snapshot: no pprof profile"
        "$ZV_ZVTOOL" snapshot --port "$listen" --kind bogus --out "$work/bogus" >"$work/bogus.out" 2>&1 &&
            fail "snapshot: an unknown kind was answered"
        expect_text bogus out "unknown profile kind bogus"
        # Requests that are not one short "profile KIND" line get one error line.
        ask() {
            exec 3<>"/dev/tcp/127.0.0.1/$listen" && printf '%s\n' "$1" >&3 && head -1 <&3
            exec 3<&-
        }
        [ "$(ask hello)" = "ERROR unknown request; expected 'profile KIND' or 'sampling start|stop|reset'" ] || fail "port: 'hello' was not refused"
        [ "$(ask "profile $(printf 'x%.0s' $(seq 300))")" = "ERROR request line missing or longer than 256 bytes" ] ||
            fail "port: an over-long request was not refused"
    fi
    # A data dump's profile carries the time in its names, so the exit's does not overwrite it.
    # To java itself, below the run's subshell and timeout.
    kill -QUIT "$(pgrep -P "$(pgrep -P "$pid" | head -1)" | head -1)"
    for _ in $(seq 1 300); do
        ls "$work"/p-[0-9]*-[0-9]*-[0-9]*.txt >/dev/null 2>&1 && break
        sleep 0.1
    done
    touch "$work/stop"
    wait "$pid"
    expect_rc hot 0
    ls "$work"/p-[0-9]*-[0-9]*-[0-9]*.collapsed >/dev/null 2>&1 || fail "hot: no time-stamped profile of the data dump"
    expect_line hot out "pattern: 500500000"
    expect_text hot err "Zentrova profiler: wrote $work/p.html"
    # The pprof file as go tool pprof reads it: time on spinLong's loop lines
    # with their file, and the exact call counts as a sample type of their own.
    if command -v go >/dev/null; then
        pprof() { HOME=$work GOCACHE=$work/go-cache timeout 120 go tool pprof "$@" "$work/p.pb.gz" 2>&1; }
        pprof -sample_index=calls -top | grep -qE '^ +1000000 .* e2e\.HotSpots\.leaf$' ||
            fail "pprof: no 1000000 calls of leaf: $(pprof -sample_index=calls -top | head -12)"
        loop_lines=$(grep -n "// spin-long$" "$src" | cut -d: -f1 | paste -sd'|')
        pprof -sample_index=cpu -lines -top | grep -qE " e2e\.HotSpots\.spinLong e2e/HotSpots\.java:($loop_lines)$" ||
            fail "pprof: no CPU time on e2e/HotSpots.java:$loop_lines"
    else
        echo "SKIP: go is not installed; the pprof file was not read by go tool pprof"
    fi
    # The default is CPU time every 10 ms; the collapsed stacks (in
    # microseconds) add up to the text report's total.
    grep -q '^Profile (CPU, one sample every 10 ms): [0-9]* samples, [0-9.]* s$' "$work/p.txt" ||
        fail "hot: the report's header: $(head -2 "$work/p.txt")"
    grep -qE '^Sampled [0-9.]+ s of wall time, in which the sampled threads used [0-9.]+ s of CPU time$' "$work/p.txt" ||
        fail "hot: no wall and CPU seconds in the header"
    total=$(sed -n '1s/.* samples, \([0-9.]*\) s$/\1/p' "$work/p.txt")
    awk -v total="${total:-0}" '{ n += $NF } END { d = n / 1e6 - total; exit !(total > 0 && d < 0.02 && d > -0.02) }' \
        "$work/p.collapsed" || fail "collapsed stacks do not add up to the report's ${total:-?} s"
    # Time split between the spinning methods: 70% within 10 points.
    split=$(awk '/spinLong/ { l += $NF } /spinShort/ { s += $NF }
                 END { if (l + s > 0) printf "%d %d %d", l, s, 100 * l / (l + s) }' "$work/p.collapsed")
    read -r long short share <<<"${split:-0 0 0}"
    [ "$long" -ge 50 ] && [ "$share" -ge 60 ] && [ "$share" -le 80 ] ||
        fail "spinLong has $share% of the spinning samples ($long and $short), expected 70 +- 10"
    # Self time of spinLong lies on its loop's lines.
    hot_lines=$(grep -n "// spin-long$" "$src" | cut -d: -f1 | tr '\n' ' ')
    on_lines=$(awk -v lines="$hot_lines" '/^Hot lines/ { on = 1; next } /^$/ { on = 0 }
        on && $3 ~ /spinLong:/ { split($3, p, ":"); all += $2; if (index(" " lines, " " p[2] " ")) hit += $2 }
        END { if (all > 0) print int(100 * hit / all); else print 0 }' "$work/p.txt")
    [ "$on_lines" -ge 90 ] || fail "only $on_lines% of spinLong's self samples are on lines $hot_lines"
    # Exact call counts: 1000 calls of pattern, each calling leaf 1000 times.
    grep -qE "^ +1000  e2e\.HotSpots\.pattern$" "$work/p.txt" || fail "pattern: not 1000 calls"
    grep -qE "^ +1000000  e2e\.HotSpots\.leaf$" "$work/p.txt" || fail "leaf: not 1000000 calls"
    # CPU mode leaves out the main thread while it waits for the spinners;
    # the filter's group stands for the spinning methods, frames carry lines.
    echo '{ Content = ( { grp = t; cnd = { Name = "Spinning"; PatternList = ("e2e.HotSpots.spin*"); } } ); }' \
        >"$work/group.txt"
    (cd "$work" && run cpu "-agentpath:$agent=port=$((port + 31)),filter=$work/group.txt,Eprofiler.mode=cpu,Eprofiler.period=10,Eprofiler.lines=true" \
        -cp "$ZV_CLASSES" e2e.HotSpots)
    expect_rc cpu 0
    # (The main thread's start-up may run long under a sanitizer: only its wait is counted.)
    join_lines=$(grep -n '\.join();' "$src" | cut -d: -f1 | paste -sd'|')
    # The spinners spin for a wall time: on a busy machine they get less CPU,
    # so their group is judged against their own threads' time.
    shares=$(awk -v joins="^e2e\\.HotSpots\\.main:($join_lines) [0-9]+$" \
        '$0 ~ joins { w += $NF } /^e2e\.HotSpots\$[12]\.run/ { r += $NF; if (/;\[Spinning\]/) g += $NF }
         { n += $NF } END { if (n > 0 && r > 0) printf "%d %d", 100 * w / n, 100 * g / r; else print "100 0" }' \
        "$work/zvprofile.collapsed")
    read -r waiting spinning <<<"$shares"
    [ "$waiting" -le 3 ] && [ "$spinning" -ge 90 ] ||
        fail "cpu mode: $waiting% of the time waits in join, $spinning% of the spinners' is in the spinning group"
    call_line=$(grep -n 'sink = spinLong' "$src" | cut -d: -f1)
    grep -qE "^e2e\.HotSpots\\\$1\.run:$call_line;\[Spinning\] [0-9]+$" "$work/zvprofile.collapsed" ||
        fail "cpu mode: no stack e2e.HotSpots\$1.run:$call_line;[Spinning]"
    # The flame graph renders in a browser, with the hot method's frame.
    browser=$(command -v chromium || command -v chromium-browser || true)
    if [ -z "$browser" ]; then
        echo "SKIP: chromium is not installed; the flame graph page was not rendered"
    else
        chrome=("$browser" --headless --no-sandbox --disable-gpu --no-first-run --disable-quic
                --disable-background-networking --disable-component-update --disable-sync
                --user-data-dir="$work/chrome")
        timeout 60 "${chrome[@]}" --dump-dom "file://$work/p.html" >"$work/dom.html" 2>/dev/null
        grep -q '<div class="f"[^>]*>e2e.HotSpots.spinLong</div>' "$work/dom.html" ||
            fail "flame graph: no rendered frame for spinLong"
        # A profile folder of its own: the first browser may still hold its lock.
        # The window holds 100 levels: a deeper graph opens scrolled to its
        # roots, and the shot of a scrolled page can come out nearly blank.
        timeout 60 "${chrome[@]}" --user-data-dir="$work/chrome-shot" --screenshot="$work/p.png" --window-size=1200,1900 \
            "file://$work/p.html" >/dev/null 2>&1
        [ "$(stat -c %s "$work/p.png" 2>/dev/null || echo 0)" -gt 5000 ] || fail "flame graph: no screenshot"
    fi
    ;;
profiler_modes)
    # The profiler's other modes and sources of settings, on the same program:
    # interval files, an XML configuration, the metrics' counts, CPU time on a
    # busy machine, wall mode with thread roots, and JDK 25.
    install=$(dirname "$ZV_LIB")
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
    src=$ZV_SOURCE/tests/e2e/java/e2e/HotSpots.java
    port=$((20000 + RANDOM % 30000))
    # With an interval, each interval's reports are written with a time stamp
    # and hold that interval alone: the 1,000,000 calls of leaf are counted
    # once over all the files.
    (cd "$work" && mkdir interval && cd interval &&
        run interval "-agentpath:$agent=port=$((port + 37)),Eprofiler.interval=1s,Eprofiler.pprof=p.pb.gz" \
            -cp "$ZV_CLASSES" e2e.HotSpots "$work/interval/stop" & sleep 4; touch "$work/interval/stop"; wait)
    expect_rc interval 0
    stamped=$(ls "$work"/interval/zvprofile-*.txt 2>/dev/null | wc -l)
    [ "$stamped" -ge 2 ] && ls "$work"/interval/p-*.pb.gz >/dev/null 2>&1 || fail "interval: $stamped stamped reports"
    leaf_calls=$(awk '$2 == "e2e.HotSpots.leaf" { n += $1 } END { print n + 0 }' "$work"/interval/*.txt)
    [ "$leaf_calls" = 1000000 ] || fail "interval: leaf's calls add up to $leaf_calls over the files"
    # The CPU profiler options of an XML configuration give the period and the
    # CPU mode; nothing but the spinners then has samples.
    cat >"$work/cpu.xml" <<XML
<zentrova-configuration><request-analyzer>
  <connection><audit-port><port number="$((port + 32))"/></audit-port></connection>
  <auto-start-CPU enabled="true" time="cpu"><sampler-options period="7"/></auto-start-CPU>
</request-analyzer></zentrova-configuration>
XML
    (cd "$work" && rm -f zvprofile.txt && run xml "-agentpath:$agent=$work/cpu.xml" -cp "$ZV_CLASSES" e2e.HotSpots)
    expect_rc xml 0
    grep -q '^Profile (CPU, one sample every 7 ms)' "$work/zvprofile.txt" || fail "xml: the report's mode and period"
    # The profiler's handler table gives the metrics their thread and class counts.
    run counts "-agentpath:$agent=port=$((port + 34))" "-Dzv.probe=$ZV_EXTENSION" -cp "$ZV_CLASSES" e2e.Metrics 2500
    expect_rc counts 0
    read -r threads classes <<<"$(sed -n 's/^last counts: threads \([0-9]*\), classes \([0-9]*\)$/\1 \2/p' "$work/counts.out")"
    [ "${threads:-0}" -ge 2 ] && [ "${threads:-0}" -le 30 ] && [ "${classes:-0}" -ge 300 ] ||
        fail "counts: threads ${threads:-none} and classes ${classes:-none} from the profiler's table"
    # CPU time is CPU time: a 3:1:2 split of CPU time on two threads, measured
    # by their CPU clocks, while two busy loops compete for the cores; a
    # thread that sleeps and one that wakes every 0.5 ms weigh what they used.
    busy=()
    for _ in 1 2; do (while :; do :; done) & busy+=($!); done
    (cd "$work" && rm -f zvprofile.collapsed && run split "-agentpath:$agent=port=$((port + 35))" -cp "$ZV_CLASSES" e2e.CpuSplit)
    kill "${busy[@]}"
    expect_rc split 0
    read -r waker_cpu <<<"$(sed -n 's/^waker cpu ms: //p' "$work/split.out")"
    awk -v waker="${waker_cpu:-0}" '{ n += $NF } /threeParts/ { a += $NF } /onePart/ { b += $NF } /twoParts/ { c += $NF }
         /sleeper/ { s += $NF } /waker/ { w += $NF }
         function off(part, want) { return part / (a + b + c) / want - 1 }
         END { printf "split %.3f %.3f %.3f, sleeper %.4f, waker %.4f (%d ms, used %d ms)\n",
                      a / (a + b + c), b / (a + b + c), c / (a + b + c), s / n, w / n, w / 1000, waker
               bad = off(a, 3 / 6) ^ 2 > 0.04 || off(b, 1 / 6) ^ 2 > 0.04 || off(c, 2 / 6) ^ 2 > 0.04
               exit bad || s / n > 0.01 || w / 1000 > 2 * waker + 20 || w / 1000 < waker / 2 - 20 }' \
        "$work/zvprofile.collapsed" >"$work/split.shares" ||
        fail "cpu split not 3:1:2 within 20%, or the idle threads weigh more than they used: $(cat "$work/split.shares")"
    # Wall mode with a root per thread shows what each thread is doing.
    (cd "$work" && rm -f zvprofile.collapsed &&
        run wall "-agentpath:$agent=port=$((port + 36)),Eprofiler.mode=wall,Eprofiler.threads=true" -cp "$ZV_CLASSES" e2e.CpuSplit)
    expect_rc wall 0
    for frame in '[thread_sleeper];e2e.CpuSplit.lambda$main$0;e2e.CpuSplit.sleeper;[sleeping]' \
                 '[thread_waker];e2e.CpuSplit.waker;[waiting]' '[thread_main];e2e.CpuSplit.main;[waiting]' \
                 '[thread_first];e2e.CpuSplit.lambda$main$1;e2e.CpuSplit.threeParts;e2e.CpuSplit.burn;[running]'; do
        # (JDK frames may stand between the program's frames and the state.)
        stack=$(sed 's/[]$.[]/\\&/g' <<<"${frame%;*}") state=$(sed 's/[]$.[]/\\&/g' <<<"${frame##*;}")
        grep -qE "^$stack(;[^ ]*)?;$state " "$work/zvprofile.collapsed" || fail "wall: no stack $frame"
    done
    # On JDK 25 too, the initial thread is sampled along with the others.
    if [ -n "${ZV_JAVA25:-}" ]; then
        (cd "$work" && rm -f zvprofile.collapsed && use_vm "$ZV_JAVA25" &&
            run jdk25 "-agentpath:$agent=port=$((port + 33)),Eprofiler.mode=wall" -cp "$ZV_CLASSES" e2e.HotSpots)
        expect_rc jdk25 0
        # (main waits in join, whose JDK frames are instrumented too.)
        for frame in 'e2e.HotSpots.main;(.*;)?\[waiting\]' 'e2e.HotSpots\$1.run;e2e.HotSpots.spinLong;(.*;)?\[running\]'; do
            grep -qE "^$frame " "$work/zvprofile.collapsed" || fail "jdk25: no samples of $frame"
        done
    else
        echo "SKIP: no JDK 25 on this machine; the profiler ran on JDK 17 only"
    fi
    ;;
profiler_kinds | profiler_kinds_jdk25)
    # The profile kinds beside the sampled one, each on a program of known
    # behaviour: exact method times, sampled allocations, monitor contention;
    # then all kinds in one run, one file set each.
    [[ $case_name == *_jdk25 ]] && use_jdk25
    install=$(dirname "$ZV_LIB")
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
    port=$((20000 + RANDOM % 30000))
    # Timing of every method: exact calls, and each path's time within 10%
    # of what the callers measured (the tree's first line of each method is
    # its outermost call); the exception's frames closed where it was caught.
    (cd "$work" && mkdir timing && cd timing && run timing "-agentpath:$agent=port=$port,Eprofiler.mode=timing" \
        -cp "$ZV_CLASSES" e2e.Timed)
    expect_rc timing 0
    read -r thirty ten rec catcher <<<"$(sed -n 's/^measured ms: thirty \([0-9.]*\) ten \([0-9.]*\) rec \([0-9.]*\) catcher \([0-9.]*\) caught true$/\1 \2 \3 \4/p' "$work/timing.out")"
    measured="thirty=${thirty:-0} ten=${ten:-0} rec=${rec:-0} catcher=${catcher:-0}"
    awk -v m="$measured" '
        BEGIN { split(m, pairs, " "); for (i in pairs) { split(pairs[i], kv, "="); want["e2e.Timed." kv[1]] = kv[2] } }
        function near(got, w) { return w > 0 && got >= 0.9 * w && got <= 1.1 * w }
        /^Call tree/ { tree = 1 } !tree || $9 != "calls" || seen[$10]++ { next }
        $10 in want { ok += $8 == ($10 == "e2e.Timed.ten" ? 3 : 1) && near($2, want[$10]) }
        $10 == "e2e.Timed.thrower" { ok += $8 == 1 && $2 >= 4 && $2 < want["e2e.Timed.catcher"] }
        END { exit ok != 5 }' "$work/timing/zvprofile.txt" ||
        fail "timing: calls or times off ($measured): $(grep -F e2e.Timed "$work/timing/zvprofile.txt" | head -12)"
    grep -qE '^e2e\.Timed\.main;e2e\.Timed\.catcher;e2e\.Timed\.after;e2e\.Timed\.spin [0-9]+$' "$work/timing/zvprofile.collapsed" ||
        fail "timing: after the exception, after() is not called from catcher"
    refuse_text timing/zvprofile collapsed "thrower;e2e.Timed.after"
    grep -q '<title>Flame graph</title>' "$work/timing/zvprofile.html" || fail "timing: no flame graph"
    # A filter times the methods it names alone (a class stands for its
    # methods): the least, average and greatest time of a call, exact calls;
    # a start-up class's method (loaded before the profiler) is timed too.
    # Only the classes of timed methods get probes (the class dump shows the
    # changed classes): thrower is timed through its relay left as loaded, and
    # a constructor whose super() throws there leaves no frame open.
    (cd "$work/timing" && mkdir dump && TMPDIR=$work/timing/dump run filtered "-agentpath:$agent=port=$((port + 1)),dci=true,Eprofiler.mode=timing,Eprofiler.methods=e2e.Nothing*|e2e.Timed|e2e.Timed\$Made|java.util.HashMap.put,Eprofiler.text=filtered.txt,Eprofiler.collapsed=filtered.collapsed" \
        -cp "$ZV_CLASSES" e2e.Timed)
    expect_rc filtered 0
    (cd "$work/timing/dump" && find . -name '*.class' | sort) >"$work/dumped"
    grep -qx './e2e/Timed.class' "$work/dumped" && grep -qx './java/util/HashMap.class' "$work/dumped" &&
        ! grep -vxE '\./(e2e/Timed(\$Made)?|java/util/HashMap|java/lang/Thread|java/io/ObjectStreamClass)\.class' "$work/dumped" ||
        fail "filtered: instrumented classes other than the timed ones' (or not these): $(head -5 "$work/dumped")"
    awk '$9 == "java.util.HashMap.put" && $8 > 0 { ok = 1 } END { exit !ok }' "$work/timing/filtered.txt" ||
        fail "filtered: java.util.HashMap.put not timed"
    # JDK 25's own method timing of the same class counts the same calls,
    # but for frames an exception leaves without a throw of their own (it
    # counts 1 of thrower's 4, as measured).
    if [[ $case_name == *_jdk25 ]]; then
        (cd "$work/timing" && run jfr -XX:StartFlightRecording:method-timing=e2e.Timed,filename=timed.jfr \
            -cp "$ZV_CLASSES" e2e.Timed)
        expect_rc jfr 0
        "$(dirname "$ZV_JAVA25")/jfr" print --events jdk.MethodTiming "$work/timing/timed.jfr" |
            sed -n 's/^ *method = \([^(]*\)(.*/\1/p; s/^ *invocations = //p' | paste - - >"$work/jfr.calls"
        awk 'FNR == NR { jfr[$1] = $2; next } $9 ~ /^e2e\.Timed\./ && $9 != "e2e.Timed.thrower" && ++n && jfr[$9] != $8 {
             printf "%s JFR %d profiler %d; ", $9, jfr[$9], $8; bad = 1 } END { exit bad || n < 7 }' \
            "$work/jfr.calls" "$work/timing/filtered.txt" >"$work/jfr.diff" ||
            fail "jfr: invocation counts differ: $(cat "$work/jfr.diff") ($(wc -l <"$work/jfr.calls") JFR methods)"
    fi
    awk '$9 == "e2e.Timed.spin" { ok += $8 == 12 && $5 >= 2 }
         $9 == "e2e.Timed.ten" { ok += $8 == 3 && $5 >= 10 }
         $9 == "e2e.Timed.rec" { ok += $8 == 5 && $5 >= 2 && $7 >= 10 && $7 < $4 * 1.01 }
         $9 == "e2e.Timed.thrower" { ok += $8 == 4 && $5 >= 4 }
         $9 == "e2e.Timed$Made.<init>" { ok += $8 == 1 }
         END { exit ok != 5 }' "$work/timing/filtered.txt" ||
        fail "filtered: calls or least and greatest times off: $(sed -n '/^Flat/,/^$/p' "$work/timing/filtered.txt")"
    grep -qE '^e2e\.Timed\.main;e2e\.Timed\.after;e2e\.Timed\.spin [0-9]+$' "$work/timing/filtered.collapsed" ||
        fail "filtered: a constructor's frame left open: $(grep -F after "$work/timing/filtered.collapsed")"
    grep -vqE '^(e2e\.Timed\.main(;e2e\.Timed(\.[a-z]+|\$Made\.<init>))*(;java\.util\.HashMap\.put)?|java\.util\.HashMap\.put) [0-9]+$' "$work/timing/filtered.collapsed" &&
        fail "filtered: frames of untimed methods: $(grep -vE '^e2e\.Timed\.' "$work/timing/filtered.collapsed" | head -3)"
    # With an interval, each kind writes its stamped file set per interval and
    # the exit the rest: the timed calls of waited, 2.5 s of 50 ms waits from
    # the end of the program's pattern, add up over them to what it counted.
    (mkdir "$work/intervals" && cd "$work/intervals" &&
        run intervals "-agentpath:$agent=port=$((port + 5)),Eprofiler.mode=timing+alloc+lock,Eprofiler.methods=e2e.HotSpots,Eprofiler.interval=1s" \
            -cp "$ZV_CLASSES" e2e.HotSpots "$work/intervals/stop") &
    for _ in $(seq 600); do grep -q '^pattern' "$work/intervals.out" 2>/dev/null && break; sleep 0.1; done
    sleep 2.5; touch "$work/intervals/stop"; wait
    expect_rc intervals 0
    ls "$work"/intervals/zvprofile{,-alloc,-lock}-[0-9]*.html >/dev/null || fail "intervals: a kind without stamped files"
    waits=$(sed -n 's/^waits: //p' "$work/intervals.out")
    read -r calls files <<<"$(awk '$9 == "e2e.HotSpots.waited" { n += $8; f += $8 > 0 } END { print n + 0, f + 0 }' \
        "$work"/intervals/zvprofile{,-[0-9]*}.txt)"
    [ "$files" -ge 2 ] && [ "$calls" = "${waits:-none}" ] ||
        fail "intervals: waited's timed calls add up to $calls over $files files, it counted ${waits:-none}"
    # Allocations: 3:1 bytes from two sites within 15%, each with its class as the leaf.
    # A 64k interval gives the smaller site about 3,000 samples: at the default
    # 512k its 400 samples put 15% only 3-4 deviations away, which a loaded CI hit.
    (cd "$work" && mkdir alloc && cd alloc && run alloc "-agentpath:$agent=port=$((port + 2)),Eprofiler.mode=alloc,Eprofiler.alloc=64k" \
        -cp "$ZV_CLASSES" e2e.Allocs)
    expect_rc alloc 0
    awk '/;e2e\.Allocs\.threeParts;byte\[\] [0-9]+$/ { a += $NF } /;e2e\.Allocs\.onePart;int\[\] [0-9]+$/ { b += $NF }
         END { printf "%d %d", a, b; exit !(b > 0 && a / b > 3 * 0.85 && a / b < 3 * 1.15) }' \
        "$work/alloc/zvprofile.collapsed" >"$work/alloc.split" || fail "alloc: bytes of the sites not 3:1: $(cat "$work/alloc.split")"
    [ -s "$work/alloc/zvprofile-count.collapsed" ] || fail "alloc: no collapsed sample counts"
    # Contention: the waiter's blocked time on its stack, within 20% of what it measured.
    (cd "$work" && mkdir lock && cd lock && run lock "-agentpath:$agent=port=$((port + 3)),Eprofiler.mode=lock" \
        -cp "$ZV_CLASSES" e2e.Locks)
    expect_rc lock 0
    waited=$(sed -n 's/^waited ms: //p' "$work/lock.out")
    awk -v want="${waited:-0}" '/^e2e\.Locks\.main;e2e\.Locks\.waiter;e2e\.Locks\$Account [0-9]+$/ { got += $NF / 1000 }
         END { printf "%.1f ms", got; exit !(want > 500 && got > 0.8 * want && got < 1.2 * want) }' \
        "$work/lock/zvprofile.collapsed" >"$work/lock.got" ||
        fail "lock: blocked $(cat "$work/lock.got") in the waiter on Account, it measured ${waited:-?} ms"
    # All at once: the first kind keeps the usual names, the others say their kind.
    (cd "$work" && mkdir all && cd all && run all "-agentpath:$agent=port=$((port + 4)),Eprofiler.mode=cpu+alloc+lock+timing" \
        -cp "$ZV_CLASSES" e2e.Locks)
    expect_rc all 0
    for file in zvprofile.txt zvprofile-alloc.html zvprofile-lock.collapsed zvprofile-timing.txt; do
        [ -s "$work/all/$file" ] || fail "all: no $file"
    done
    grep -q 'e2e\.Locks\$Account' "$work/all/zvprofile-lock.collapsed" || fail "all: no contention on Account"
    ;;
churn | churn_jdk25)
    # Thread churn under the profiler: 20,000 short threads in waves of 64
    # recurse (some past the context's first call-stack array, some until
    # their stack overflows), throw, allocate, read their backtraces and push
    # markers through the test extension, while the profiler samples every
    # millisecond and a snapshot is fetched every second. The heap in use
    # after the churn (16,000 threads after the warm-up) may exceed that after
    # the warm-up by 8 MB at most: the profile grows as it meets new stacks
    # (by 5 MB over 720,000 threads in ten minutes) and the VM's own use
    # wanders by up to 5 MB, while a leak of 512 bytes a thread would pass it
    # (the sampler's frame buffer alone is 88 kB a thread).
    [[ $case_name == *_jdk25 ]] && use_jdk25
    install=$work/install
    profiled_install "$install" "$ZV_LIB" "$ZV_EXTENSION"
    port=$((20000 + RANDOM % 30000))
    # Waves of 64 after 64 waves of warm-up; fewer with a sanitized agent, which is slower.
    waves=250
    [ -n "${ZV_PRELOAD:-}" ] && waves=60
    (cd "$work" && run churn "-agentpath:$install/lib/libr2orar.so=port=$port-$((port + 30)),Eprofiler.period=1" \
        -Dzenva.test.echo=true "-Dzv.churn=$install/ext/darara/lib/zen_churndev_i.so" -cp "$ZV_CLASSES" \
        e2e.Churn $waves 64) &
    pid=$!
    snapshots=0
    while kill -0 $pid 2>/dev/null; do
        listen=$(sed -n 's/^zenva: AuditPort.listen(port=\([0-9]*\))$/\1/p' "$work/churn.out")
        if [ -n "$listen" ] && "$ZV_ZVTOOL" snapshot --port "$listen" --out "$work/live$snapshots" >/dev/null 2>&1; then
            grep -q '^e2e.Churn.lambda[^ ]*;e2e.Churn.descend' "$work/live$snapshots" && snapshots=$((snapshots + 1))
        fi
        sleep 1
    done
    wait $pid
    expect_rc churn 0
    [ $snapshots -ge 1 ] || fail "churn: no snapshot with the churn threads' stacks"
    expect_line churn out "failed inspections: 0 "
    expect_line churn out "caught: true"
    read -r threads refused <<<"$(sed -n 's/^churn: \([0-9]*\) threads.*/\1/p; s/^refused markers: //p' "$work/churn.out" | paste -sd' ')"
    [ "${threads:-0}" = $(((waves + 64) * 64)) ] && [ "${refused:-9999}" -le $(((waves + 64) * 64 / 100)) ] ||
        fail "churn: ${threads:-no} threads, ${refused:-?} markers refused for want of room (1% allowed)"
    grep -qxE "registered threads: before ([0-9]+) after \1" "$work/churn.out" || fail "churn: threads left registered"
    read -r before after <<<"$(sed -n 's/^heap in use: before \([0-9]*\) after \([0-9]*\)$/\1 \2/p' "$work/churn.out")"
    # A sanitizer counts the VM's own compiler arenas in its allocated bytes,
    # and its slower agent leaves the compilers busy when the churn ends: there
    # the reading says nothing of the agent, and only the Java heap is bounded.
    if [ -n "${ZV_PRELOAD:-}" ]; then
        echo "churn: native heap bound not checked under a sanitizer ($before -> $after bytes)"
    elif [ -z "${before:-}" ] || [ $((after - before)) -gt $((8 << 20)) ]; then
        fail "churn: the heap in use grew from ${before:-?} to ${after:-?} bytes"
    fi
    # A context whose reference outlived its thread keeps its 8 kB array.
    read -r java_before java_after <<<"$(sed -n 's/^java heap in use: before \([0-9]*\) after \([0-9]*\)$/\1 \2/p' "$work/churn.out")"
    [ -n "${java_before:-}" ] && [ $((java_after - java_before)) -le $((2 << 20)) ] ||
        fail "churn: the Java heap in use grew from ${java_before:-?} to ${java_after:-?} bytes"
    if grep -qiE "error|exception" "$work/churn.err"; then fail "churn: $(grep -iE "error|exception" "$work/churn.err" | head -1)"; fi
    echo "churn: ${threads:-?} threads, $snapshots snapshots, ${refused:-?} markers refused," \
        "heap in use ${before:-?} -> ${after:-?} bytes, Java heap ${java_before:-?} -> ${java_after:-?}," \
        "$(grep '^churn:' "$work/churn.out")"
    ;;
soak)
    # A steady loopback server in the VM for 60 s under the profiler (a sample
    # every 10 ms, a snapshot every 10 s; bench/soak.sh is the long run; JDK 17
    # only). After 20 s of warm-up, the least reading of the later half may
    # exceed that of the earlier half by 4 MB for the heap in use and 32 MB for
    # the resident set at most; a leak of 1 kB a request (3,000 or more a
    # second) would pass the first.
    profiled_install "$work/install" "$ZV_LIB" "$ZV_EXTENSION"
    port=$((20000 + RANDOM % 30000))
    timeout 150 "${java[@]}" -Xms64m -Xmx64m -XX:+AlwaysPreTouch \
        "-agentpath:$work/install/lib/libr2orar.so=port=$port-$((port + 30)),Eprofiler.period=10" \
        -Dzenva.test.echo=true "-Dzv.churn=$work/install/ext/darara/lib/zen_churndev_i.so" \
        -cp "$ZV_CLASSES" e2e.Soak 60 5 >"$work/soak.out" 2>"$work/soak.err" &
    pid=$!
    snapshot_loop $pid "$work/soak.out" "$ZV_ZVTOOL" 10 "$work"
    wait $pid
    echo $? >"$work/soak.rc"
    expect_rc soak 0
    soak_curve "$work/soak.out" 20 4096 32768 || fail "soak: memory not flat after the warm-up"
    [ $snapshots -ge 4 ] && [ $refused = 0 ] || fail "soak: $snapshots snapshots, $refused failed"
    grep -q 'e2e.Soak.serve' "$work/live.collapsed" || fail "soak: the last snapshot lacks the workers' stacks"
    grep -qE '^soak: [0-9]+ requests, 0 failed $' "$work/soak.out" || fail "soak: $(grep '^soak:' "$work/soak.out")"
    expect_line soak out "workers ended: true"
    if grep -qiE "error|exception|fatal" "$work/soak.err"; then fail "soak: $(grep -iE "error|exception|fatal" "$work/soak.err" | head -1)"; fi
    echo "soak: $snapshots snapshots, $(grep '^soak:' "$work/soak.out")"
    ;;
metrics)
    # Defaults: every metric every 2 s into 10-hour buffers; the heap values
    # are the VM's own. Whole-second stamps make a step of 1 or 3 possible.
    # The counts are the probe's handler table's, one call per sample (the
    # installation's profiler, which installs its own table, stays out).
    run defaults "-agentpath:$agent=Eprofiler=false" "-Dzv.probe=$ZV_EXTENSION" -cp "$ZV_CLASSES" e2e.Metrics 6500 table
    expect_rc defaults 0
    grep -qxE "table counts: classes ([3-9]) of [0-9]+, threads \1 and \1 of [0-9]+" "$work/defaults.out" ||
        fail "defaults: the metrics' counts are not the handler table's, one call per sample"
    for name in "Java Heap" "Thread Count" "Class Count"; do
        grep -qxE "$name: period 2, capacity 18000, [345] samples, steps( [123])+" "$work/defaults.out" ||
            fail "defaults: $name not sampled every 2 s"
    done
    expect_line defaults out "heap: used within total true, last total is the VM's true"
    # Configured metrics: their own periods and sizes, and only those.
    cat >"$work/metrics.xml" <<'XML'
<zentrova-configuration>
  <request-analyzer>
    <metrics enabled="true">
      <metric name="Java Heap" bufferSizeType="memory" bufferSize="6000" period="1"/>
      <metric name="Thread Count" bufferSizeType="time" bufferSize="1h" period="3s"/>
    </metrics>
  </request-analyzer>
</zentrova-configuration>
XML
    run xml "-agentpath:$agent=$work/metrics.xml" "-Dzv.probe=$ZV_EXTENSION" -cp "$ZV_CLASSES" e2e.Metrics 6500
    expect_rc xml 0
    grep -qxE "Java Heap: period 1, capacity 500, [5-8] samples, steps( [012])+" "$work/xml.out" ||
        fail "xml: the heap not sampled every second into 500 samples"
    grep -qxE "Thread Count: period 3, capacity 1200, [234] samples, steps( [234])+" "$work/xml.out" ||
        fail "xml: the thread count not sampled every 3 s into 1200 samples"
    expect_line xml out "Class Count: no samples"
    expect_line xml out "heap: used within total true, last total is the VM's true"
    refuse_text xml err "too small"
    ;;
junit_reloading)
    # A JUnit 3 test loads its workload through JUnit's reloading loader; the
    # agent's classes still come from the system loader only.
    run junit "-agentpath:$agent" -cp "$ZV_JUNIT_JAR:$ZV_JUNIT_CLASSES" junit.textui.TestRunner e2ejunit.ReloadingSuite
    expect_rc junit 0
    expect_text junit out "reloaded by: junit.runner.TestCaseClassLoader"
    expect_line junit out "context class seen from the reloaded class: meridyn.audit.profiler.ZVContext same as the test's: true loader: null"
    expect_line junit out "OK (1 test)"
    ;;
direct_instrumentation)
    # Forced on, and enabled by a table that names the running VM in other
    # letter case: the VM runs normally and the patching is refused once (the
    # clock native is patched only in TSC clock mode). The shipped table
    # keeps 64-bit VMs off.
    refusal="Zentrova Warning: direct instrumentation of compiled code is not supported on this platform; the natives are called through JNI"
    echo '{ enabledFor = ( { vmname = "openjdk"; } ); }' >"$work/directi.table"
    run forced "-agentpath:$agent=directi=true" -cp "$ZV_CPU_CLASSES" cpu.DirectTime
    run table "-agentpath:$agent" "-Dzenva.directi.table=$work/directi.table" -cp "$ZV_CPU_CLASSES" cpu.DirectTime
    run shipped "-agentpath:$agent" -cp "$ZV_CPU_CLASSES" cpu.DirectTime
    for name in forced table shipped; do
        expect_rc $name 0
        expect_line $name out "clock ran forward: true"
        refuse_text $name err "directi.table"
    done
    for name in forced table; do
        expect_line $name err "Direct Instrumentation Enabled"
        expected=0
        grep -q "^Determined CPU Frequency as" "$work/$name.err" && expected=1
        [ "$(grep -cxF -- "$refusal" "$work/$name.err")" = $expected ] || fail "$name: refusal not said $expected time(s)"
    done
    refuse_text shipped err "Direct Instrumentation Enabled"
    refuse_text shipped err "$refusal"
    ;;
memory | memory_jdk25)
    # An installation whose extension follows allocations of one class with
    # the memory profiler on, and reads a heap dump and object dumps.
    [[ $case_name == *_jdk25 ]] && use_jdk25
    install=$work/install
    mkdir -p "$install/lib" "$install/ext/darara/lib" "$install/ext/darara/audit"
    cp "$ZV_LIB"/* "$install/lib/"
    cp "$ZV_EXTENSION" "$install/ext/darara/lib/zen_memorydev_i.so"
    echo '({libraryName=memory; initArgs={memory=true;};})' >"$install/ext/darara/audit/extensions.table"
    echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"
    run mem "-agentpath:$install/lib/libr2orar.so" "-Dzv.memory=$install/ext/darara/lib/zen_memorydev_i.so" \
        -cp "$ZV_CLASSES" e2e.MemoryUse
    expect_rc mem 0
    expect_line mem err "1 Extension(s) Activated."
    # Exactly the loop's objects; the one the handler makes is not reported.
    expect_line mem out "allocated: 1000, inside the handler: 1"
    expect_line mem out "freed: 995, collections seen: true, extension saw frees: true"
    expect_line mem out "dump: read whole, holder e2e.MemoryUse\$Holder holds the array true, array of 5 items true, item chain true, item class dumped true, roots true"
    expect_line mem out "array: 1 count 5 class e2e.MemoryUse\$Item elements id id - -, the array's own"
    expect_line mem out "instance: 1 count 7 class untouched elements - - - -"
    expect_line mem out "kept: 5 graph"
    ;;
bad_input)
    # Broken copies of a class and a filter file with a bad entry: the agent
    # names each on standard error, the VM refuses the copies itself, and the
    # program runs on with its output untouched.
    printf '({ cpu = t; cnd = notAMap }, { grp = t; cnd = { PatternList = ("e2e.*"); } })' >"$work/bad_filter.txt"
    run bad "-agentpath:$agent=filter=$work/bad_filter.txt" -cp "$ZV_CLASSES" e2e.BadClasses
    expect_rc bad 0
    [ "$(cat "$work/bad.out")" = "refused 3 of 3; the class answers 42" ] || fail "bad: standard output changed"
    expect_line bad err "Zentrova Warning: filter file $work/bad_filter.txt: entry 1 has no condition with a PatternList list; it matches no method"
    expect_line bad err "Bad Java Class magic number 0xcafebabf"
    expect_line bad err "ZV encountered corrupt class, skipping constant-pool parse"
    ;;
attach)
    attach_flow
    # Refusals, each before the process is signalled: no such process, not a
    # Java VM, attaching disabled, and (as root) a VM of another user.
    "$ZV_ZVTOOL" attach 12ab >"$work/r1.out" 2>&1; echo $? >"$work/r1.rc"
    expect_rc r1 1
    expect_line r1 out "zvtool attach: '12ab' is not a process id"
    sleep 0 & gone=$!
    wait $gone
    "$ZV_ZVTOOL" attach $gone >"$work/r2.out" 2>&1; echo $? >"$work/r2.rc"
    expect_rc r2 1
    expect_line r2 out "zvtool attach: there is no process $gone"
    sleep 30 & sleeper=$!
    "$ZV_ZVTOOL" attach $sleeper >"$work/r3.out" 2>&1; echo $? >"$work/r3.rc"
    expect_rc r3 1
    expect_line r3 out "zvtool attach: process $sleeper is not a Java VM (no libjvm.so is loaded in it)"
    kill -0 $sleeper 2>/dev/null || fail "not a VM: the process was signalled"
    kill $sleeper
    run closed -XX:+DisableAttachMechanism -cp "$ZV_CLASSES" e2e.Attached "$work/closed" &
    runner=$!
    for _ in $(seq 1 300); do grep -q '^workload started$' "$work/closed.out" 2>/dev/null && break; sleep 0.1; done
    closed=$(pgrep -f "^[^ ]*java .*e2e.Attached $work/closed")
    "$ZV_ZVTOOL" attach "$closed" --agent "$agent" >"$work/r4.out" 2>&1; echo $? >"$work/r4.rc"
    expect_rc r4 1
    expect_line r4 out "zvtool attach: VM $closed does not accept attaching (it was started with -XX:+DisableAttachMechanism)"
    if [ "$(id -u)" = 0 ] && runuser -u nobody -- test -x "$ZV_ZVTOOL" 2>/dev/null; then
        runuser -u nobody -- "$ZV_ZVTOOL" attach "$closed" --agent "$agent" >"$work/r5.out" 2>&1; echo $? >"$work/r5.rc"
        expect_rc r5 1
        expect_line r5 out "zvtool attach: process $closed belongs to another user (uid 0); only that user or root can attach to it"
    else
        echo "another user's VM: not tested (needs root and a zvtool that the user nobody can run)"
    fi
    touch "$work/closed.stop"
    wait $runner
    # An installation without its Java side is refused before the agent starts:
    # the program runs on.
    mkdir -p "$work/nojar/lib"
    cp "$agent" "$ZV_LIB/zvbcp.jar" "$work/nojar/lib/"
    run nojar -cp "$ZV_CLASSES" e2e.Attached "$work/nojar" &
    runner=$!
    for _ in $(seq 1 300); do grep -q '^workload started$' "$work/nojar.out" 2>/dev/null && break; sleep 0.1; done
    "$ZV_ZVTOOL" attach "$(pgrep -f "^[^ ]*java .*e2e.Attached $work/nojar")" --agent "$work/nojar/lib/libr2orar.so" \
        >"$work/r6.out" 2>&1 && fail "nojar: the attach succeeded"
    expect_text r6 out "failed (return code -1; the VM's standard error says why)"
    touch "$work/nojar.stop"
    wait $runner
    expect_rc nojar 0
    expect_line nojar err "Zentrova: the attach is refused: $work/nojar/lib/zenva.jar is missing"
    [ "$(cat "$work/closed.out")" = "$(printf 'workload started\nworkload ended')" ] || fail "closed: the program's output changed"
    ;;
attach_jdk25)
    use_jdk25
    attach_flow
    ;;
*)
    echo "unknown case $case_name"
    exit 2
    ;;
esac

# A race the thread sanitizer saw fails the case, whatever the exit status.
for f in "$work"/*.err; do
    [ -f "$f" ] && grep -q "WARNING: ThreadSanitizer" "$f" && fail "$(basename "$f" .err): ThreadSanitizer reports"
done
if [ $failures -ne 0 ]; then
    for f in "$work"/*.out; do show "$(basename "$f" .out)"; done
    exit 1
fi
echo "ok: $case_name"
