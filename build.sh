#!/usr/bin/env bash
# One entry point for setting up, building and running the project.
#   ./build.sh test          install what is missing, build, run the whole test suite,
#                            then every fuzz target for a few seconds and the
#                            threaded unit tests under ThreadSanitizer
#   ./build.sh demo          install what is missing, build, run the demo under the agent
#   ./build.sh asan          the unit suite under AddressSanitizer + UBSan
#   ./build.sh tsan          the unit suite under ThreadSanitizer, then a real VM with
#                            the sanitized agent (see tsan.supp)
#   ./build.sh fuzz [SECS]   every fuzz target under libFuzzer for SECS seconds (default 60)
#   ./build.sh bench         build and run the benchmarks
set -euo pipefail
cd "$(dirname "$0")"

packages=(cmake ninja-build g++ clang libgtest-dev libgmock-dev libbenchmark-dev
          libxml2-dev openjdk-17-jdk-headless pkg-config libzip-dev zip unzip
          # real-world class files that the class-file tests read
          libguava-java libcommons-lang3-java libguice-java libmaven3-core-java libasm-java
          # JUnit 3.8.2, whose reloading class loader the agent adjusts
          junit
          # headless browser that renders the profiler's flame graph page
          chromium
          # the pprof format's encoder and zlib; go tool pprof reads the files in the tests
          protobuf-compiler libprotobuf-dev zlib1g-dev golang-go)

install_missing() {
    local missing=()
    for p in "${packages[@]}" "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "Installing missing packages: ${missing[*]}"
        local sudo=()
        [ "$(id -u)" -eq 0 ] || sudo=(sudo)
        "${sudo[@]}" apt-get update -qq
        DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

command=${1:-test}
shift || true
case "$command" in
test)
    install_missing libclang-rt-14-dev
    cmake --workflow --preset default
    # Every fuzz target under libFuzzer for a few seconds, so that the fuzz
    # command below keeps building and running.
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz --target zv_fuzzers
    fuzz/run.sh build/fuzz 3
    # The tests whose threads share the agent's tables, under ThreadSanitizer.
    cmake --preset tsan >/dev/null
    cmake --build --preset tsan --target test_threads
    ctest --preset tsan -L threads
    ;;
asan)
    install_missing
    cmake --workflow --preset asan
    ;;
tsan)
    install_missing libclang-rt-14-dev libtsan2
    cmake --workflow --preset tsan
    # java is not built with the sanitizer: its runtime is preloaded (tests/e2e).
    ctest --test-dir build/tsan --output-on-failure -R '^e2e\.threads$'
    ;;
demo)
    install_missing
    cmake --preset default >/dev/null
    cmake --build --preset default
    exec examples/demo/run.sh build/default "$@"
    ;;
fuzz)
    install_missing libclang-rt-14-dev
    cmake --preset fuzz >/dev/null
    cmake --build --preset fuzz
    exec fuzz/run.sh build/fuzz "${1:-60}"
    ;;
bench)
    install_missing
    cmake --preset default >/dev/null
    cmake --build --preset default
    exec bench/run.sh build/default "$@"
    ;;
*)
    sed -n '2,11p' "$0"
    exit 2
    ;;
esac
