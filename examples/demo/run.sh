#!/usr/bin/env bash
# Runs the demo application under the agent, with nothing but -agentpath:
#   examples/demo/run.sh BUILD_DIR [AGENT_OPTION...]
# The installation's profiler extension writes the profile (text report,
# collapsed stacks, flame graph page) into BUILD_DIR/demo-profile.
# Each AGENT_OPTION is key=value (e.g. port=1500); they follow "log=true",
# which prints the agent's options report. The Java side echoes the calls it
# receives from the agent (zenva.test.echo). JAVA names the java program.
set -euo pipefail

if [ $# -lt 1 ]; then
    sed -n '2,7p' "$0"
    exit 2
fi
build=$(cd "$1" && pwd)
shift
lib=$build/zenva/lib
jar=$build/examples/demo/demo.jar
for f in "$lib/libr2orar.so" "$lib/zvbcp.jar" "$lib/zenva.jar" "$jar"; do
    if [ ! -f "$f" ]; then
        echo "run.sh: $f is missing; build first (cmake --build $build)" >&2
        exit 1
    fi
done

options=log=true
for option in "$@"; do
    options+=",$option"
done

# Nothing but -agentpath: the agent adds its own jars to the class paths.
command=("${JAVA:-java}"
    "-agentpath:$lib/libr2orar.so=$options"
    -Dzenva.test.echo=true
    -jar "$jar")

export ZENVA_HOME=$build/zenva
echo "ZENVA_HOME=$ZENVA_HOME"
# The agent finds its installation, and so its extension table, through the
# audit file of the working directory.
profile=$build/demo-profile
mkdir -p "$profile"
echo "{DuvOzurivud3.0=\"$ZENVA_HOME\";}" >"$profile/.zv_audit"
cd "$profile"
echo "Running: ${command[*]}"
status=0
"${command[@]}" || status=$?
echo
echo "Profile of the demo run:"
for f in zvprofile.html zvprofile.txt zvprofile.collapsed; do
    [ -f "$profile/$f" ] && echo "  $profile/$f"
done
exit "$status"
