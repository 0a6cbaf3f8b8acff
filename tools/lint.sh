#!/usr/bin/env bash
# Checks the layout (clang-format) and the code (clang-tidy, every check of .clang-tidy, warnings
# as errors) of the programs and libraries, from a configured build tree's compile commands.
#   lint.sh [BUILD_DIR]   default: build
#   LINT_JOBS             clang-tidy processes at once (default: 2)
# Bounded: clang-tidy gets LINT_SECONDS (default 1200) in all, and a run that takes longer fails.
set -uo pipefail
cd "$(dirname "$0")/.."
tree=${1:-build}
jobs=${LINT_JOBS:-2}
sources=$(git ls-files -- 'panel/*.cpp' 'lib/*.cpp' 'sentrel/*.cpp' 'notifier/*.cpp' 'veltrixd/*.cpp' \
          'tools/*.cpp')
headers=$(git ls-files -- 'panel/*.h' 'lib/*.h' 'sentrel/*.h' 'notifier/*.h' 'veltrixd/*.h' 'tools/*.h' 'tests/*.cpp' 'tests/*.h' \
          'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp')
status=0

echo "== clang-format"
if ! clang-format --dry-run -Werror $sources $headers; then
    echo "clang-format: the files above are not laid out as .clang-format says (clang-format -i FILE)"
    status=1
fi

echo "== clang-tidy ($(wc -w <<<"$sources") files)"
# (.clang-tidy makes every warning an error, so any finding fails the run.)
if ! timeout "${LINT_SECONDS:-1200}" run-clang-tidy -quiet -p "$tree" -j "$jobs" $sources \
        >"$tree/clang-tidy.log" 2>&1; then
    grep -E 'error:|warning:' -A3 "$tree/clang-tidy.log" | sed 's/\x1b\[[0-9;]*m//g' | head -200
    echo "clang-tidy failed (or ran out of time); its whole output: $tree/clang-tidy.log"
    status=1
fi
[ "$status" = 0 ] && echo "lint passed"
exit "$status"
