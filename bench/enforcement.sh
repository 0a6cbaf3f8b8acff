#!/usr/bin/env bash
# Enforcement compared in one run, with 500 processes running: the system service veltrixd (the
# kernel's process events), the session guard Sentrel.exe (a /proc scan twice a second) and a
# peer that polls `ps -e` twice a second and kills what it finds by name.
#  - exec-to-end latency of a program named like a browser, started 100 times by a throwaway
#    member account at a blocked hour (median, 99th percentile, worst); and, known by its engine
#    (the guard and the service only), of a renamed copy beside Firefox's libxul.so and of a
#    program that maps a WebKitGTK library, 40 times each, readable and execute only;
#  - the service's CPU per minute and resident memory while it stands by (an allowed hour), while
#    it counts a running browser against a daily allowance, and while the hour is blocked (the
#    allowance still set);
#  - a flood of 2,000 programs of distinct names: what the log grows by and the service's memory.
# Needs root (the account and its group are created and removed here); prints figures, asserts
# nothing.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${SERVICE_BENCH_SECONDS:-60}
samples=${SERVICE_BENCH_STARTS:-100}
. "$(dirname "$0")/lib.sh"
start_child "enforcement benchmark"
group=${child}g
groupadd "$group"
usermod -aG "$group" "$child"
service=
cleanup() {
    [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null
    remove_child
    groupdel "$group" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/program"
cp "$build/tools/Sentrel.exe" "$build/tools/veltrix-reg" "$work/program/"
cp "$build/tools/fake-program" "$work/firefox"
mkdir -p "$work/copy" "$work/webkit"
cp "$build/tools/fake-program" "$work/copy/notes"
cp "$build/tools/libfake-gecko.so" "$work/copy/libxul.so"
cp "$build/tools/fake-program" "$work/webkit/notes"
head -c 4096 /dev/zero > "$work/webkit/libwebkit2gtk-4.1.so.0"
# The same two, execute only: nobody may read them, and /proc shows their processes as root's.
cp -r "$work/copy" "$work/hidden-copy"
cp -r "$work/webkit" "$work/hidden-webkit"
chown -R "$child:" "$work/program" "$work/firefox" "$work/copy" "$work/webkit" \
    "$work/hidden-copy" "$work/hidden-webkit"
chmod 0111 "$work/hidden-copy/notes" "$work/hidden-webkit/notes"
export VELTRIX_USER_STORE=$work/home/store VELTRIX_CONTROL_SOCKET=$work/run/control
key='\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune'
uid=$(id -u "$child")
gid=$(id -g "$child")
latency() { "$build/bench/bench_stop_latency" "$uid" "$gid" "$work/firefox" "$samples"; }
by_engine() {
    echo "  a renamed copy beside libxul.so:  $("$build/bench/bench_stop_latency" "$uid" "$gid" \
        "$work/copy/notes" 40)"
    echo "  maps a WebKitGTK library:         $("$build/bench/bench_stop_latency" "$uid" "$gid" \
        "$work/webkit/notes" 40 --map "$work/webkit/libwebkit2gtk-4.1.so.0")"
    echo "  the copy, execute only:           $("$build/bench/bench_stop_latency" "$uid" "$gid" \
        "$work/hidden-copy/notes" 40)"
    echo "  the WebKitGTK one, execute only:  $("$build/bench/bench_stop_latency" "$uid" "$gid" \
        "$work/hidden-webkit/notes" 40 --map "$work/hidden-webkit/libwebkit2gtk-4.1.so.0")"
}
boxes() {  # the hour boxes of the current and the next hour
    for t in now "+1 hour"; do
        read -r day hour < <(date -d "$t" '+%w %H')
        hour_box "$day" "$((10#$hour))" | cut -d' ' -f1
    done
}
ask() {  # one request to the service as the child ("as_child"), or as root, a parent ("")
    local who=${ASK_AS-as_child}
    $who /usr/bin/python3 -c 'import socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
s.sendall(("\t".join(sys.argv[2:]) + "\n").encode())
print(s.recv(65536).decode().strip())' "$VELTRIX_CONTROL_SOCKET" "$@" >/dev/null
}

fill_processes

start_peer
echo "ps -e peer, every 0.5 s:           $(latency)"
kill "$peer"; wait "$peer" 2>/dev/null || true

# The session guard alone (no service: it stops and logs itself).
as_child "$work/program/veltrix-reg" set HKCU "$key" NeedJobOrNot Yes
for box in $(boxes); do as_child "$work/program/veltrix-reg" set HKCU "$key" "CheckBox${box}Check" 0; done
(VELTRIX_CONTROL_SOCKET=$work/none as_child "$work/program/Sentrel.exe" &)
for _ in $(seq 100); do [ -s "$work/runtime/veltrix/guard.lock" ] && break; sleep 0.05; done
sleep 1
echo "session guard, /proc every 0.5 s: $(latency)"
by_engine
kill "$(cat "$work/runtime/veltrix/guard.lock")"
sleep 1

# The service, with the account's settings sealed through its control socket.
"$build/tools/veltrixd" --state "$work/state/sealed" --socket "$VELTRIX_CONTROL_SOCKET" \
    --log "$work/log/Block.log" --group "$group" --user-store store 2>"$work/service.err" &
service=$!
for _ in $(seq 200); do [ -S "$VELTRIX_CONTROL_SOCKET" ] && break; sleep 0.05; done
chmod 755 "$work"
ASK_AS= ask for "$child" first pw   # (set from a parent's account, root's here)
allowed=(NeedJobOrNot=Yes)
for box in $(boxes); do allowed+=("CheckBox${box}Check=1"); done
ask save pw "${allowed[@]}"
sleep 2
printf 'service standing by:               %8.1f ms CPU per minute, %s kB resident\n' \
    "$(per_minute "$service")" "$(rss_kb "$service")"
# A daily allowance of 2 hours, counting a browser that runs at the allowed hour; it stays set
# for the blocked hour below.
allowance=()
for day in 0 1 2 3 4 5 6; do allowance+=("MinutesADay$day=120"); done
ask save pw "${allowed[@]}" "${allowance[@]}"
(as_child "$work/firefox" &)
sleep 2
printf 'service counting a running browser: %8.1f ms CPU per minute, %s kB resident\n' \
    "$(per_minute "$service")" "$(rss_kb "$service")"
for pid in $(child_pids firefox); do kill "$pid" 2>/dev/null || true; done
ask save pw "${allowed[@]/%=1/=0}"
sleep 2
echo "service, process events:           $(latency)"
by_engine
printf 'service at a blocked hour:         %8.1f ms CPU per minute, %s kB resident\n' \
    "$(per_minute "$service")" "$(rss_kb "$service")"

# A flood: the child starts 2,000 programs of distinct names (hard links beside a Chromium
# engine's files), each stopped. What the log and the service's memory are after it.
mkdir -p "$work/flood"
: > "$work/flood/icudtl.dat"; : > "$work/flood/v8_context_snapshot.bin"
cp "$build/tools/fake-program" "$work/flood/prog"
chown -R "$child:" "$work/flood"
log_before=$(stat -c %s "$work/log/Block.log")
rss_before=$(rss_kb "$service")
cpu_before=$(cpu_ms "$service")
as_child bash -c "cd '$work/flood' && for i in \$(seq 2000); do ln -f prog notes\$i; done &&
    for i in \$(seq 2000); do ./notes\$i & done; wait" 2>/dev/null || true
sleep 2
printf 'a flood of 2000 distinct programs:  log +%s bytes, %s -> %s kB resident, %.0f ms CPU\n' \
    "$(( $(stat -c %s "$work/log/Block.log") - log_before ))" "$rss_before" "$(rss_kb "$service")" \
    "$(echo "$(cpu_ms "$service") - $cpu_before" | bc -l)"
