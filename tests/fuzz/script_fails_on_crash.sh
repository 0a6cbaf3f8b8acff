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
# The crash's input lies beside the corpus, never in the checkout.
artifact=$(ls "$corpus"-crash-* 2>/dev/null | head -n1)
rm -rf "$corpus" "$corpus.log" "$corpus"-crash-*
if [ -z "$artifact" ] || compgen -G "$src/crash-*" >/dev/null; then
    echo "FAIL: the crashing input was not kept beside the corpus (or was left in the checkout)"
    exit 1
fi
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
