#!/usr/bin/env bash
# The cost of the agent's allocation events: an allocation-heavy kernel in
# one VM under the agent, with the memory profiler switched off and on round
# by round (by the memory test extension, installed in a temporary
# installation); prints each round, the medians and the ratio on/off.
# Usage: bench/alloc_overhead.sh BUILD_DIR [ROUNDS [OBJECTS]]   (JAVA names the java program)
set -euo pipefail

if [ $# -lt 1 ]; then
    sed -n '2,6p' "$0"
    exit 2
fi
build=$(cd "$1" && pwd)
rounds=${2:-7}
objects=${3:-200000}
java=${JAVA:-java}
lib=$build/zenva/lib
extension=$build/tests/e2e/zen_recorderdev_i.so
for f in "$lib/libr2orar.so" "$extension"; do
    [ -f "$f" ] || { echo "alloc_overhead.sh: $f is missing; build first" >&2; exit 1; }
done
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_alloc.XXXXXX")
trap 'rm -rf "$work"' EXIT
"${JAVAC:-javac}" -d "$work/classes" "$here/java/AllocKernel.java" "$here/../tests/e2e/java/e2e/MemoryUse.java"

install=$work/install
mkdir -p "$install/lib" "$install/ext/darara/lib" "$install/ext/darara/audit"
cp "$lib"/* "$install/lib/"
cp "$extension" "$install/ext/darara/lib/zen_memorydev_i.so"
echo '({libraryName=memory; initArgs={memory=true;};})' >"$install/ext/darara/audit/extensions.table"
export HOME=$work
unset ZENVA_HOME
echo "{DuvOzurivud3.0=\"$install\";}" >"$HOME/.zv_audit"

"$java" "-agentpath:$install/lib/libr2orar.so" -Dzenva.metrics.thread=false \
    "-Dzv.memory=$install/ext/darara/lib/zen_memorydev_i.so" -cp "$work/classes" AllocKernel "$rounds" "$objects" |
    grep -E '^(round|allocations|median|ratio)'
