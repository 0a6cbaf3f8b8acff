#!/usr/bin/env bash
# tools/fuzz.sh must fail when a target crashes: a seed that makes the test target abort is given
# first among others that pass, and the script has to report the target and exit non-zero.
set -uo pipefail
tree=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
corpus=$tree/corpus/aborts_on_input
rm -rf "$corpus"
mkdir -p "$corpus"
printf 'fine' >"$corpus/a"
printf 'abort' >"$corpus/b"
out=$(FUZZ_TARGETS=aborts_on_input FUZZ_SECONDS=5 bash "$src/tools/fuzz.sh" "$tree" 2>&1)
status=$?
rm -rf "$corpus" "$corpus.log"
if [ "$status" = 0 ]; then
    printf '%s\n' "$out"
    echo "FAIL: fuzz.sh passed although its target aborts"
    exit 1
fi
if ! grep -q 'fuzz_aborts_on_input found a failure' <<<"$out" || ! grep -q '^fuzzing failed: aborts_on_input$' <<<"$out"; then
    printf '%s\n' "$out"
    echo "FAIL: fuzz.sh failed without naming the target"
    exit 1
fi
echo "fuzz.sh failed on the crashing target, as it must"
