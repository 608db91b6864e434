#!/bin/sh
# Every member the native side names is declared, with that descriptor, by the
# class that holds it: the built archives for the product's classes, the
# rewritten java/lang/Thread for its added members, the JDK for the others.
# Usage: contract_test.sh MEMBERS_PROGRAM JAVAP CLASS_PATH PATCHED_THREAD_DIR
set -eu
members=$1 javap=$2 classpath=$3 thread=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$members" >"$work/members"
[ -s "$work/members" ] || { echo "no members listed"; exit 1; }
for owner in $(cut -d' ' -f1 "$work/members" | sort -u); do
    dotted=$(echo "$owner" | tr / .)
    if [ "$owner" = java/lang/Thread ]; then
        "$javap" -p -s "$thread/java/lang/Thread.class" >"$work/javap"
    else
        "$javap" -p -s -cp "$classpath" "$dotted" >"$work/javap"
    fi
    # Declarations are followed by their descriptor line: "NAME DESCRIPTOR",
    # constructors named <init>.
    awk -v cls="$dotted" '
        /^  [^ ].*;$/ { line = $0; next }
        /^    descriptor: / {
            d = $2; s = line; sub(/;$/, "", s)
            if (index(s, "(") > 0) { s = substr(s, 1, index(s, "(") - 1) }
            n = split(s, words, " "); name = words[n]
            if (name == cls) name = "<init>"
            print name, d
        }' "$work/javap" >"$work/declared"
    grep "^$owner " "$work/members" | while read -r _ name descriptor; do
        if ! grep -qxF "$name $descriptor" "$work/declared"; then
            echo "$owner: no member $name $descriptor"
            echo missing >>"$work/missing"
        fi
    done
done
[ ! -e "$work/missing" ] || exit 1
echo "$(wc -l <"$work/members") members found"
