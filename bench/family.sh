#!/usr/bin/env bash
# The family list's cost to the service: the CPU veltrixd spends answering one refresh of a list
# of 4 children (the list asks every 5 s while it is open) with a 2 MiB log, by the one request
# the list makes (family-states) and, beside it in the same run, by the road of one request per
# child (family, then state for each); and, as a peer, what one read of the whole log for each
# child costs grep. Needs root (the accounts and their group are created and removed here);
# prints figures, asserts nothing.
set -euo pipefail
build=$(cd "$1" && pwd)
refreshes=${FAMILY_BENCH_REFRESHES:-50}
[ "$(id -u)" = 0 ] || { echo "family benchmark: needs root for its throwaway users; skipped"; exit 0; }
. "$(dirname "$0")/lib.sh"
work=$(mktemp -d /tmp/veltrix-bench-XXXXXX)
group=vfam$$
kids=()
service=
cleanup() {
    [ -n "$service" ] && kill "$service" 2>/dev/null && wait "$service" 2>/dev/null
    for k in "${kids[@]}"; do userdel "$k" 2>/dev/null || true; done
    groupdel "$group" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
groupadd "$group"
for n in 1 2 3 4; do
    k=vfam$$k$n
    useradd --system --no-create-home --shell /usr/sbin/nologin "$k"
    usermod -aG "$group" "$k"
    kids+=("$k")
done
mkdir -p "$work/log"
# 2 MiB of today's stops and alerts of the four children.
python3 - "$work/log/Block.log" "${kids[@]}" <<'PY'
import datetime, sys
path, kids = sys.argv[1], sys.argv[2:]
day = datetime.date.today().isoformat()
with open(path, "w") as log:
    n = 0
    while log.tell() < 2 << 20:
        kid = kids[n % len(kids)]
        log.write(f"{day} 10:{n // 60 % 60:02d}:{n % 60:02d} [{kid}] Stopped firefox (pid {1000 + n}, "
                  f"/home/{kid}/.local/bin/firefox), a web browser\n")
        n += 1
PY
"$build/tools/veltrixd" --state "$work/state/sealed" --socket "$work/control" \
    --log "$work/log/Block.log" --group "$group" --no-events --no-network-cut 2>"$work/service.err" &
service=$!
for _ in $(seq 200); do [ -S "$work/control" ] && break; sleep 0.05; done
[ -S "$work/control" ] || { cat "$work/service.err"; exit 1; }
sleep 1
# CPU ms the service spends on $refreshes refreshes, each the requests given as arguments ("-"
# separates requests; "EACH" stands for every child's name).
per_refresh() {
    local before after
    before=$(cpu_ms "$service")
    python3 - "$work/control" "$refreshes" "${kids[*]}" "$@" <<'PY'
import socket, sys
path, times, kids, words = sys.argv[1], int(sys.argv[2]), sys.argv[3].split(), sys.argv[4:]
requests, cur = [], []
for w in words + ["-"]:
    if w == "-":
        if cur: requests.append(cur)
        cur = []
    else:
        cur.append(w)
def ask(fields):
    s = socket.socket(socket.AF_UNIX); s.connect(path)
    s.sendall(("\t".join(fields) + "\n").encode())
    data = b""
    while not data.endswith(b"\n"):
        chunk = s.recv(65536)
        if not chunk: break
        data += chunk
    s.close()
    if not data.startswith(b"ok"): sys.exit("refused: " + data.decode(errors="replace"))
for _ in range(times):
    for r in requests:
        if "EACH" in r:
            for k in kids: ask([k if f == "EACH" else f for f in r])
        else:
            ask(r)
PY
    after=$(cpu_ms "$service")
    echo "($after - $before) / $refreshes" | bc -l
}
one=$(per_refresh family-states)
each=$(per_refresh family - state EACH)
start=$(date +%s%N)
for _ in $(seq "$refreshes"); do
    for k in "${kids[@]}"; do grep -c "\[$k\]" "$work/log/Block.log" >/dev/null; done
done
grep_ms=$(echo "($(date +%s%N) - $start) / 1000000 / $refreshes" | bc -l)
printf 'family list of 4 children, 2 MiB log, service CPU per refresh: %.2f ms (one request)   %.2f ms (a request per child)   peer, grep of the log per child: %.2f ms\n' \
    "$one" "$each" "$grep_ms"
