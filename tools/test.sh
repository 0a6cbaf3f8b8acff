#!/usr/bin/env bash
# Builds and runs every test: the normal build, then the sanitizer build (address + undefined
# behaviour). Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

run_suite() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
    cmake --build "$dir"
    ctest --test-dir "$dir" --output-on-failure --timeout 300 -j2
}

echo "== normal build"
run_suite build -DCMAKE_BUILD_TYPE=RelWithDebInfo
echo "== sanitizer build"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
run_suite build-asan -DCMAKE_BUILD_TYPE=Debug -DVELTRIX_SANITIZE=ON -DVELTRIX_BENCH=OFF
echo "== fuzz targets (clang, libFuzzer, sanitizers)"
FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash tools/fuzz.sh
