#!/usr/bin/env bash
# The programs a person installs have none of the tests' doors: the panel asks only the real
# service's socket, whatever $VELTRIX_CONTROL_SOCKET says, and the service keeps turning after
# SIGUSR2 (the test build's stall). Runs them from an installed program directory, as root, with
# a service of its own that acts for a throwaway group with no member.
#   no_test_doors.sh PROGRAM_DIR
set -euo pipefail
program=$(cd "$1" && pwd)
[ "$(id -u)" = 0 ] || { echo "no_test_doors: needs root for a service of its own; skipped"; exit 0; }
work=$(mktemp -d /tmp/veltrix-doors-XXXXXX)
group=vdoors$$
service= panel= decoy=
cleanup() {
    [ -n "$decoy" ] && [ "$decoy" -gt 0 ] && kill -9 "$decoy" 2>/dev/null || true
    [ -n "$service" ] && [ "$service" -gt 0 ] && kill -9 "$service" 2>/dev/null || true
    [ -n "$panel" ] && [ "$panel" -gt 0 ] && kill -9 "$panel" 2>/dev/null || true
    wait 2>/dev/null || true
    groupdel "$group" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
groupadd "$group"
chmod 755 "$work"

# A socket of the test's, served by root, that notes every connection.
python3 - "$work/decoy" "$work/decoy.log" <<'PY' &
import os, socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
s.bind(sys.argv[1]); os.chmod(sys.argv[1], 0o777); s.listen(8)
while True:
    c, _ = s.accept()
    with open(sys.argv[2], "a") as log: log.write("connected\n")
    c.close()
PY
decoy=$!
for _ in $(seq 100); do [ -S "$work/decoy" ] && break; sleep 0.05; done
[ -S "$work/decoy" ] || fail "the decoy socket did not come up"

# The panel starts (offscreen, a store of its own) and asks a service at its start: never the
# decoy the environment names.
VELTRIX_CONTROL_SOCKET=$work/decoy VELTRIX_USER_STORE=$work/store/user \
    VELTRIX_MACHINE_STORE=$work/store/machine QT_QPA_PLATFORM=offscreen \
    "$program/veltrix" >/dev/null 2>&1 &
panel=$!
sleep 3
kill -0 "$panel" 2>/dev/null || fail "the panel did not start"
[ ! -s "$work/decoy.log" ] || fail "the installed panel connected to \$VELTRIX_CONTROL_SOCKET"
kill -9 "$panel"; wait "$panel" 2>/dev/null || true; panel=
kill "$decoy"; wait "$decoy" 2>/dev/null || true; decoy=

# The service: SIGUSR2 neither stops it nor stalls it; it answers after it as before.
ask_status() {
    python3 - "$work/control" <<'PY'
import socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM); s.settimeout(5)
s.connect(sys.argv[1]); s.sendall(b"status\n")
print(s.recv(4096).decode().strip())
PY
}
"$program/veltrixd" --state "$work/state/sealed" --socket "$work/control" \
    --log "$work/Block.log" --group "$group" --no-network-cut 2>"$work/service.err" &
service=$!
for _ in $(seq 200); do [ -S "$work/control" ] && break; sleep 0.05; done
[ -S "$work/control" ] || fail "the service did not start: $(cat "$work/service.err")"
ask_status >/dev/null || fail "the service did not answer"
kill -USR2 "$service"
sleep 1
kill -0 "$service" 2>/dev/null || fail "SIGUSR2 ended the installed service"
answer=$(ask_status) || fail "the installed service stalled after SIGUSR2"
[ -n "$answer" ] || fail "the installed service gave no answer after SIGUSR2"
grep -q "stalling" "$work/service.err" && fail "the installed service has the stall hook"
echo "no test doors: the panel ignores \$VELTRIX_CONTROL_SOCKET, the service turns on after SIGUSR2"
