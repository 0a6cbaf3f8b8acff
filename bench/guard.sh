#!/usr/bin/env bash
# The guard program's cost and speed, as a throwaway user with 500 processes running, beside a
# peer measured in the same run: a `ps -e` scan at the same rate (twice a second) that kills what
# it finds by name.
#  - CPU per minute and resident memory of the guard, while an hour is allowed (idle) and while an
#    hour is blocked (scanning twice a second); the same minute of the peer.
#  - Detection latency: from the start of a program named like a browser to its end, 20 times.
#  - The scan's cost with engine checks beside the name table alone, and the maps reads and time
#    a new executable's verdict costs (bench_scan).
# Needs root (the user is created and removed here); prints figures, asserts nothing.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${GUARD_BENCH_SECONDS:-60}
. "$(dirname "$0")/lib.sh"
start_child "guard benchmark"
trap 'remove_child; rm -rf "$work"' EXIT
mkdir -p "$work/program"
cp "$build/tools/Sentrel.exe" "$build/tools/veltrix-reg" "$work/program/"
cp "$build/tools/fake-program" "$work/firefox"
chown -R "$child:" "$work/program" "$work/firefox"
export VELTRIX_USER_STORE=$work/home/store
key='\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune'
set_hours() {  # flag: the current and the next hour
    for t in now "+1 hour"; do
        read -r day hour < <(date -d "$t" '+%w %H')
        read -r box _ < <(hour_box "$day" "$((10#$hour))")
        as_child "$work/program/veltrix-reg" set HKCU "$key" "CheckBox${box}Check" "$1"
    done
}

fill_processes

as_child "$work/program/veltrix-reg" set HKCU "$key" NeedJobOrNot Yes
set_hours 1
(as_child "$work/program/Sentrel.exe" &)
for _ in $(seq 100); do [ -s "$work/runtime/veltrix/guard.lock" ] && break; sleep 0.05; done
sleep 1
guard=$(cat "$work/runtime/veltrix/guard.lock")
report() {  # label ms-per-minute
    printf '%-44s %8.1f ms CPU per minute  (%.3f %% of one core)\n' "$1" "$2" "$(echo "$2 / 600" | bc -l)"
}
idle=$(per_minute "$guard")
report "guard, allowed hour (idle):" "$idle"
set_hours 0
sleep 2
busy=$(per_minute "$guard")
report "guard, blocked hour (scanning 2x a second):" "$busy"
echo "guard resident memory: $(rss_kb "$guard") kB"

# The peer: ps -e at the same rate, killing what it finds by name.
set_hours 1   # the guard stands by while the peer is measured
sleep 2
start_peer
before=$(awk -v t="$ticks" '{print ($14 + $15 + $16 + $17) * 1000 / t}' /proc/$peer/stat)
sleep "$seconds"
after=$(awk -v t="$ticks" '{print ($14 + $15 + $16 + $17) * 1000 / t}' /proc/$peer/stat)
# The loop's own time plus its finished children (ps, awk, xargs, sleep).
report "peer, ps -e every 0.5 s:" "$(echo "($after - $before) * 60 / $seconds" | bc -l)"

latency() {  # prints ms from start to end of a program named firefox, 20 times
    exec 2>/dev/null  # (the shell's notes on ended jobs)
    for _ in $(seq 20); do
        local start end pid
        start=$(date +%s%N)
        as_child "$work/firefox" & pid=$!
        while kill -0 "$pid" 2>/dev/null; do sleep 0.005; done
        end=$(date +%s%N)
        echo $(( (end - start) / 1000000 ))
        sleep 0.$((RANDOM % 5))
    done | sort -n | awk '{a[NR]=$1} END {printf "median %d ms, worst %d ms\n", a[int((NR+1)/2)], a[NR]}'
}
echo "peer detection latency:  $(latency)"
kill $peer
wait $peer 2>/dev/null || true
set_hours 0
sleep 2
echo "guard detection latency: $(latency)"

# Knowing browsers by their engine: the scan's cost with and without engine checks, over the
# same processes, and what a new executable costs (as the child, scanning its own processes).
mkdir -p "$work/scan"
cp "$build/bench/bench_scan" "$build/tools/fake-program" "$work/"
chown -R "$child:" "$work/scan" "$work/bench_scan" "$work/fake-program"
as_child "$work/bench_scan" "$work/fake-program" "$work/scan"
