# The real programs of the benchmarks, from Debian's packages, each with its
# workload of this folder. Sourced by the scripts that run them.

# program_command PROGRAM: sets args to the java arguments that run its
# workload; fails when its jars are missing. Uses $share (the jar folder),
# $workloads (this folder) and $work (a scratch folder).
program_command() {
    case $1 in
    rhino) args=(-cp "$share/js.jar" org.mozilla.javascript.tools.shell.Main "$workloads/rhino.js") ;;
    jython) args=(-cp "$share/jython.jar" org.python.util.jython "$workloads/jython.py") ;;
    groovy) args=(-cp "$share/groovy-all.jar" groovy.ui.GroovyMain "$workloads/groovy.groovy") ;;
    clojure) args=(-cp "$share/clojure.jar:$share/spec.alpha.jar:$share/core.specs.alpha.jar" clojure.main
                   "$workloads/clojure.clj") ;;
    h2) args=(-cp "$share/h2.jar" org.h2.tools.RunScript -url "jdbc:h2:mem:bench" -script "$workloads/h2.sql") ;;
    derby) rm -rf "$work/derbydb"
           args=(-Dderby.system.home="$work/derbydb" -cp "$share/derby.jar:$share/derbytools.jar:$share/derbyshared.jar"
                 org.apache.derby.tools.ij "$workloads/derby.sql") ;;
    checkstyle)
        # The project's own Java sources, copied often enough to take seconds.
        if [ ! -d "$work/sources" ]; then
            for n in $(seq 12); do
                mkdir -p "$work/sources/$n" && find "$workloads/../.." -path "$work" -prune -o -name '*.java' \
                    -not -path '*/build/*' -exec cp -t "$work/sources/$n" {} + 2>/dev/null
            done
        fi
        local jars=$share/checkstyle.jar
        for jar in antlr4-runtime commons-lang3 commons-beanutils commons-collections3 guava commons-cli \
                   commons-logging picocli Saxon-HE reflections; do jars=$jars:$share/$jar.jar; done
        args=(-cp "$jars" com.puppycrawl.tools.checkstyle.Main -c /sun_checks.xml "$work/sources") ;;
    *) echo "unknown program $1" >&2; return 1 ;;
    esac
    for a in "${args[@]}"; do
        [[ $a == "$share"/*.jar* ]] && { [ -f "${a%%:*}" ] || return 1; }
    done
    return 0
}
