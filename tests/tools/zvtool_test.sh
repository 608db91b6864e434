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

# Options: numbers are whole and in range; a file's path may hold '='.
expect 0 "auditPort = 1500" options "port=1500,vmName=a"
expect 1 "Invalid value for port: '15x0' (expected a whole number from 1 to 65535)" options "port=15x0"
mkdir "cfg=1"
echo '<zentrova-configuration><request-analyzer><connection><audit-port><port number="1600"/>
</audit-port></connection></request-analyzer></zentrova-configuration>' >"cfg=1/z.xml"
expect 0 "auditPort = 1600" options "$work/cfg=1/z.xml"

# Filters: a refused file says where, instead of filtering nothing.
echo '{ Content = ( { grp = t; cnd = { PatternList = ("*"); } } ); }' >good.txt
echo '{ Content = 5; }' >five.txt
printf 'PK\3\4\0\377\n\1' >garbage.txt
expect 0 "group = 0 (Filter_1): its calls show as the group's frame" filter good.txt a/B m "()V" 1
expect 1 "five.txt -- the element ending at line 1 is neither" filter five.txt a/B m "()V" 1
expect 1 "garbage.txt -- the element ending at line 1 is neither" filter garbage.txt a/B m "()V" 1
printf '{ Content = (\n { grp = t; ) }' >broken.txt
expect 1 "  Syntax error: syntax error at line 2" filter broken.txt a/B m "()V" 1

# Elements: a serialized metrics tree in the binary syntax, printed as text;
# a cut-off file is an error, not an empty tree.
printf '\5\0\1\0\7metrics\4\0\1\5\0\3\0\2id\0\0\0\4name\3\0\11Java Heap\0\11entryBuff\7\0\6\2\350\3\0\0\0\5\0\11\2\352\3\0\0\0\6\0\11' >metrics.bin
expect 0 '{metrics=({entryBuff=(1000,5,9,1002,6,9);id=0;name="Java Heap";});}' elements --binary metrics.bin
head -c 40 metrics.bin >cut.bin
expect 1 "cut.bin: Binary syntax error: a count or length of 9 that the input cannot hold after byte 33" elements --binary cut.bin
expect 1 "broken.txt: Syntax error: syntax error at line 2" elements broken.txt
expect 1 "/dev/zero: not a regular file" elements --binary /dev/zero

# Diff: shares, not weights, are compared; a line without a weight is named.
printf 'main;a;hot 600\nmain;b 300\nmain 100\n' >before.collapsed
printf 'main;a;hot 100\nmain;b 350\nmain;c:12 50\n' >after.collapsed
expect 0 "  +40.00   30.00% ->  70.00%  b" diff before.collapsed after.collapsed --out diff.html
printf 'main 1\nmain;a\n' >cut.collapsed
expect 1 "cut.collapsed: line 2: expected frames separated by ';', a space and a weight" \
    diff cut.collapsed after.collapsed --out x.html
browser=$(command -v chromium || true)
if [ -n "$browser" ]; then
    # The grown frame renders red, the shrunk one blue.
    timeout 60 "$browser" --headless --no-sandbox --disable-gpu --no-first-run --user-data-dir="$work/chrome" \
        --dump-dom "file://$work/diff.html" >dom.html 2>/dev/null
    grep -qE 'background: rgb\(2[0-9]{2}, [0-9]{1,2}, [0-9]{1,2}\);">b</div>' dom.html &&
        grep -qE 'background: rgb\([0-9]{1,2}, [0-9]{1,3}, 2[0-9]{2}\);">hot</div>' dom.html ||
        { echo "FAIL: diff page: b not red or hot not blue"; failures=$((failures + 1)); }
fi

[ "$failures" = 0 ] && echo "zvtool input checks passed"
exit $((failures > 0))
