#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address + undefined behaviour) and runs each for
# a bounded time: FUZZ_SECONDS (default 15) per target.
#   fuzz.sh [BUILD_DIR]   a clang build tree configured with VELTRIX_FUZZ=ON and VELTRIX_SANITIZE=ON
#                         (default: its own tree, build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-15}
tree=${1:-}
if [ -z "$tree" ]; then
    tree=build-fuzz
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
          -DVELTRIX_SANITIZE=ON -DVELTRIX_FUZZ=ON -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF >/dev/null
fi
targets=$(sed -n 's/^foreach(name \(.*\))$/\1/p' fuzz/CMakeLists.txt)
cmake --build "$tree" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)
for t in $targets; do
    corpus=$tree/corpus/$t
    mkdir -p "$corpus"
    echo "== fuzz_$t for ${seconds}s"
    ASAN_OPTIONS=detect_leaks=1 "$tree/fuzz/fuzz_$t" -max_total_time="$seconds" -rss_limit_mb=2048 \
        -print_final_stats=1 "$corpus" 2>&1 | grep -E '^(stat::number_of_executed_units|==|INFO: Done)|ERROR|SUMMARY' || true
    [ "${PIPESTATUS[0]}" = 0 ] || { echo "fuzz_$t found a failure"; exit 1; }
done
echo "fuzzing passed"
