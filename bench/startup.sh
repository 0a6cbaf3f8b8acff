#!/usr/bin/env bash
# Start-up to the enter-password dialog on screen, against a bare Qt Widgets program that shows
# one dialog, side by side on a virtual display. Prints the ratio (goal: at most 1.3 x).
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'kill $xvfb 2>/dev/null || true; rm -rf "$work"' EXIT
VELTRIX_TEST_INSTALL=1 cmake --install "$build" --prefix "$work/program" >/dev/null
exec 5> "$work/fd"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/fd" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/fd")
export VELTRIX_USER_STORE=$work/user VELTRIX_MACHINE_STORE=$work/machine
"$work/program/veltrix-reg" set HKCU '\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune' parametr1 5
measure() {  # command: prints seconds until a window named Veltrix is mapped
    local start end pid
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1 &
    pid=$!
    xdotool search --sync --onlyvisible --name '^Veltrix$' >/dev/null
    end=$(date +%s.%N)
    kill $pid; wait $pid 2>/dev/null || true
    echo "$end - $start" | bc -l
}
best() { sort -g | head -n1; }
ours=$(for _ in 1 2 3 4 5; do (cd "$work/program" && measure ./veltrix); done | best)
bare=$(for _ in 1 2 3 4 5; do measure "$build/bench/bench_bare_dialog"; done | best)
printf 'start-up to the password dialog: %.3f s   bare Qt dialog: %.3f s   ratio %.2f x (goal 1.3 x)\n' \
    "$ours" "$bare" "$(echo "$ours / $bare" | bc -l)"
