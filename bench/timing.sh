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
