#!/usr/bin/env bash
# The agent library exports exactly the names that the sources mark
# ZV_EXPORT and the extension interface (include/zvi.h) marks ZVI_API: no
# C++ name, and nothing of the interface missing.
# Usage: exports_test.sh LIBRARY SOURCE_DIR
set -euo pipefail
exported=$(nm -D --defined-only "$1" | awk '{print $3}' | sort)
declared=$(grep -rhE '^(ZV_EXPORT|ZVI_API) ' "$2/src" "$2/include" | sed -E 's/\(.*//; s/\[.*//; s/;.*//' |
           grep -oE '[A-Za-z_][A-Za-z0-9_]*$' | sort -u)
# < declared only, > exported only
diff <(echo "$declared") <(echo "$exported")
