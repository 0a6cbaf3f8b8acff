#!/usr/bin/env bash
# Builds and runs every test, warnings fatal throughout:
#   1. the normal build (GCC) and all its tests;
#   2. the sanitizer build (clang, address + undefined behaviour): the whole tree again with the
#      other compiler, all tests again, and the fuzz targets for a bounded time; beside the
#      fuzzing (one core each), clang-format and clang-tidy over the code (tools/lint.sh);
#   3. the release build (GCC, -O3) as a packager makes it, and the Debian package
#      from it: checked from the .deb, then installed on this machine and used in a throwaway
#      child's account, upgraded, removed and purged.
# Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh

configure() {
    local dir=$1; shift
    cmake -S . -B "$dir" -G Ninja -DVELTRIX_WERROR=ON "$@" >/dev/null
}
run_tests() {
    ctest --test-dir "$1" --output-on-failure --timeout 300 -j2
}

echo "== normal build (GCC)"
configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_TEST_SEAMS=ON -DVELTRIX_TESTS=ON
cmake --build build
run_tests build

echo "== sanitizer build (clang, address + undefined behaviour)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
configure build-asan -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ -DVELTRIX_SANITIZE=ON \
          -DVELTRIX_TEST_SEAMS=ON -DVELTRIX_TESTS=ON \
          -DVELTRIX_FUZZ=ON
cmake --build build-asan
run_tests build-asan
echo "== fuzz targets (clang, libFuzzer, sanitizers), and beside them clang-format and clang-tidy"
LINT_JOBS=1 bash tools/lint.sh build >build/lint.log 2>&1 &
lint=$!
fuzz_status=0
FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash tools/fuzz.sh build-asan || fuzz_status=$?
lint_status=0
wait "$lint" || lint_status=$?
cat build/lint.log
[ "$fuzz_status" = 0 ] && [ "$lint_status" = 0 ] || { echo "fuzzing or lint failed"; exit 1; }

echo "== release build (GCC, -O3, Debian's hardening flags) and the Debian package"
deb=$(BUILD_DIR=build-release VELTRIX_PACKAGE_CMAKE="-DVELTRIX_WERROR=ON -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF" \
      bash tools/package.sh | tail -n1)
echo "== the release build's programs, installed as a person's build is: no test doors"
doors=$(mktemp -d /tmp/veltrix-release-XXXXXX)
cmake --install build-release --prefix "$doors" >/dev/null
bash tests/package/no_test_doors.sh "$doors"
rm -rf "$doors"
echo "== the package, checked from the .deb"
bash tests/package/check_package.sh "$deb"
echo "== the package installed, used in a child's account, upgraded, removed, purged"
bash tests/package/system_test.sh "$deb"
echo "all tests passed"
