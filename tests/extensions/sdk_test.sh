#!/usr/bin/env bash
# The installed SDK alone is enough to write an extension: installs the build
# into a temporary prefix, builds the outside extension there with
# find_package(zvi) and with pkg-config, builds the profiler on its own, and
# runs a real java on the prefix as an installation whose table lists both.
# Usage: sdk_test.sh BUILD_DIR SOURCE_DIR JAVA CLASSES
set -uo pipefail
build=$1 source=$2 java=$3 classes=$4
work=$(mktemp -d "${TMPDIR:-/tmp}/zv-sdk.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
fail() { echo "FAIL: $*"; exit 1; }

cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || fail "install: $(tail -5 "$work/install.log")"
for file in include/zvi.h lib/cmake/zvi/zviConfig.cmake lib/pkgconfig/zvi.pc lib/libr2orar.so; do
    [ -f "$prefix/$file" ] || fail "the installation lacks $file"
done

# Nothing of the source tree is on these builds' paths.
cmake -S "$source/tests/extensions/outside" -B "$work/outside" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    >"$work/outside.log" 2>&1 && cmake --build "$work/outside" >>"$work/outside.log" 2>&1 ||
    fail "outside extension with find_package: $(tail -20 "$work/outside.log")"
cflags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags zvi) || fail "pkg-config knows no zvi"
# shellcheck disable=SC2086
cc -std=c99 -Wall -Wextra -Werror -fPIC -shared $cflags "$source/tests/extensions/outside/outside.c" \
    -o "$work/pkgconfig.so" || fail "outside extension with pkg-config"
cmake -S "$source/extensions/profiler" -B "$work/profiler" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_FLAGS="-Werror" >"$work/profiler.log" 2>&1 &&
    cmake --build "$work/profiler" -j2 --target zen_profiler >>"$work/profiler.log" 2>&1 ||
    fail "profiler against the SDK alone: $(tail -20 "$work/profiler.log")"

cp "$work/outside/zen_outsidedev_i.so" "$work/profiler/zen_profilerdev_i.so" "$prefix/ext/darara/lib/"
echo '({libraryName=outside;initArgs={greeting=hello;};},{libraryName=profiler;initArgs={text="p.txt";collapsed="";html="";};})' \
    >"$prefix/ext/darara/audit/extensions.table"
export HOME=$work
echo "{DuvOzurivud3.0=\"$prefix\";}" >"$HOME/.zv_audit"
cd "$work" || exit 1
timeout 60 "$java" "-agentpath:$prefix/lib/libr2orar.so" -cp "$classes" e2e.Hello >run.out 2>run.err
rc=$?
[ $rc = 0 ] || fail "java ended with $rc: $(head -c 2000 run.err)"
grep -qE '^outside: [1-9][0-9]* classes loaded, hello$' run.err || fail "the outside extension said nothing: $(head -c 2000 run.err)"
grep -qF "Zentrova profiler: wrote p.txt" run.err || fail "the profiler built alone wrote no profile: $(head -c 2000 run.err)"
echo "PASS"
