#!/bin/sh
# Runs every benchmark program of a build, then ASM's ClassReader ->
# ClassWriter over the same guava.jar classes, and prints how the class-file
# model's parse + write throughput compares.
# Usage: bench/run.sh BUILD_DIR
set -eu

if [ $# -ne 1 ] || [ ! -d "$1/bench" ]; then
    echo "usage: $0 BUILD_DIR   (a configured and built tree with BUILD_DIR/bench)" >&2
    exit 2
fi
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zv_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

for program in "$build"/bench/bench_*; do
    [ -x "$program" ] || continue
    name=$(basename "$program")
    echo "== $name"
    "$program" --benchmark_out="$work/$name.csv" --benchmark_out_format=csv
done

jar=/usr/share/java/guava.jar
# The entry/exit adapter needs asm-commons (AdviceAdapter) and asm-tree.
asm=/usr/share/java/asm.jar:/usr/share/java/asm-commons.jar:/usr/share/java/asm-tree.jar
if [ ! -f /usr/share/java/asm-commons.jar ] || [ ! -f "$jar" ] || ! command -v javac >/dev/null; then
    echo "ASM comparison skipped: needs javac, $asm and $jar" >&2
    exit 0
fi
echo "== ASM (ClassReader -> ClassWriter, after warm-up)"
javac -nowarn -cp "$asm" -d "$work/asm" "$here/asm/AsmRoundTrip.java"
java -cp "$asm:$work/asm" AsmRoundTrip "$jar" "${ZV_ASM_SECONDS:-5}" | tee "$work/asm.txt"

# bytes_per_second of BM_ParseWrite, from the benchmark's CSV output.
ours=$(awk -F, '
    /^name,/ { for (i = 1; i <= NF; i++) if ($i == "bytes_per_second") column = i; next }
    column && $1 ~ /BM_ParseWrite"?$/ { print $column / 1e6 }' "$work/bench_classfile.csv" 2>/dev/null || true)
if [ -z "$ours" ]; then
    echo "no BM_ParseWrite figure found (is bench_classfile built?)" >&2
    exit 1
fi
echo "== ratio (CPU time based)"
awk -v ours="$ours" '
    /^asm_/ { for (i = 1; i <= NF; i++) if ($(i + 1) == "MB/s") mbs = $i
              printf "zv parse+write %.1f MB/s vs %s %.1f MB/s: %.2fx\n", ours, $1, mbs, ours / mbs }' "$work/asm.txt"
