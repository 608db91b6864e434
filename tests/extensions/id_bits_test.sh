#!/usr/bin/env bash
# The method-identifier mask of zvi.h is the one the Java context classes use.
# Usage: id_bits_test.sh ZVI_H JAVAP ZVBCP_JAR
set -euo pipefail
header=$(sed -nE 's/^#define ZV_ID_NUMBER_MASK (0x[0-9A-Fa-f]+)u.*/\1/p' "$1")
java=$("$2" -constants -p -cp "$3" meridyn.audit.profiler.CallCounts | sed -nE 's/.* ID_MASK = ([0-9]+);/\1/p')
[ -n "$header" ] && [ -n "$java" ] || { echo "FAIL: mask not found (zvi.h '$header', CallCounts '$java')"; exit 1; }
[ $((header)) = "$java" ] || { echo "FAIL: zvi.h has $header, CallCounts.ID_MASK $java"; exit 1; }
