#!/usr/bin/env bash
# zvtool_test.sh ZVTOOL JAR: each command accepts good input, and refuses bad
# input with a non-zero status and a message that says what and where.
set -uo pipefail
zvtool=$(realpath "$1") jar=$2
work=$(mktemp -d "${TMPDIR:-/tmp}/zv-tool.XXXXXX")
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
failures=0

# expect STATUS FRAGMENT ZVTOOL-ARGS...: the exit status and a fragment of
# the output; devices and pipes must not hang the command.
expect() {
    local want=$1 fragment=$2 status
    shift 2
    output=$(timeout 10 "$zvtool" "$@" 2>&1)
    status=$?
    if [ "$status" != "$want" ]; then
        echo "FAIL: zvtool $* exited $status"
        failures=$((failures + 1))
    elif [[ $output != *"$fragment"* ]]; then
        echo "FAIL: zvtool $*: no '$fragment' in:"
        echo "$output" | head -5
        failures=$((failures + 1))
    fi
}

unzip -p "$jar" org/apache/commons/lang3/CharUtils.class >CharUtils.class
mkfifo pipe.class
expect 0 "class org/apache/commons/lang3/CharUtils" dump CharUtils.class
expect 1 "/dev/zero: not a regular file" dump /dev/zero
expect 1 "pipe.class: not a regular file" roundtrip pipe.class
truncate -s 65M big.class
expect 1 "big.class: larger than 64 MiB" dump big.class

[ "$failures" = 0 ] && echo "zvtool input checks passed"
exit $((failures > 0))
