#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, address + undefined behaviour) and runs each for
# a bounded time: FUZZ_SECONDS (default 15) per target. Any crash, leak, time-out (one input over
# 10 s) or out-of-memory in any target fails the script, after every target has had its turn.
#   fuzz.sh [BUILD_DIR]   a clang build tree configured with VELTRIX_FUZZ=ON and VELTRIX_SANITIZE=ON
#                         (default: its own tree, build-fuzz)
#   FUZZ_TARGETS="a b"    run only these targets (default: every target of fuzz/CMakeLists.txt)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-15}
tree=${1:-}
if [ -z "$tree" ]; then
    tree=build-fuzz
    cmake -S . -B "$tree" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
          -DVELTRIX_SANITIZE=ON -DVELTRIX_FUZZ=ON -DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF >/dev/null
fi
targets=${FUZZ_TARGETS:-$(sed -n 's/^foreach(name \(.*\))$/\1/p' fuzz/CMakeLists.txt)}
cmake --build "$tree" --target $(for t in $targets; do printf 'fuzz_%s ' "$t"; done)
failed=()
for t in $targets; do
    corpus=$tree/corpus/$t
    log=$tree/corpus/$t.log
    mkdir -p "$corpus"
    echo "== fuzz_$t for ${seconds}s"
    status=0
    # (What a failure leaves, crash-*, leak-*, timeout-*, goes beside the corpus, not into the
    # checkout.)
    ASAN_OPTIONS=detect_leaks=1 "$tree/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$tree/corpus/$t-" "$corpus" \
        >"$log" 2>&1 || status=$?
    grep -E '^(stat::number_of_executed_units|==|INFO: Done)|ERROR|SUMMARY' "$log" || true
    if [ "$status" != 0 ]; then
        echo "fuzz_$t found a failure (exit $status); its whole output: $log"
        failed+=("$t")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]}"
    exit 1
fi
echo "fuzzing passed"
