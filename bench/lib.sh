# What the enforcement benchmarks share (sourced): a throwaway $child of tests/e2e/child.sh in a
# $work directory of their own, and their figures.
. "$(dirname "${BASH_SOURCE[0]}")/../tests/e2e/child.sh"
ticks=$(getconf CLK_TCK)
# Needs root (the account is created and removed here); without it says so and ends the
# benchmark named $1 as skipped. Sets $work and $child.
start_child() {
    [ "$(id -u)" = 0 ] || { echo "$1: needs root for its throwaway user; skipped"; exit 0; }
    work=$(mktemp -d /tmp/veltrix-bench-XXXXXX)
    make_child
}
# CPU time (user + system) a process has used, in ms; and its resident memory, in kB.
cpu_ms() { awk -v t="$ticks" '{sub(/.*\) /, ""); print ($12 + $13) * 1000 / t}' "/proc/$1/stat"; }
rss_kb() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
# The CPU a process uses over $seconds, in ms per minute.
per_minute() {
    local a b
    a=$(cpu_ms "$1"); sleep "$seconds"; b=$(cpu_ms "$1")
    echo "($b - $a) * 60 / $seconds" | bc -l
}
# 500 processes running: the child's sleepers make up what the system lacks.
fill_processes() {
    local have extra
    have=$(ps -e --no-headers | wc -l)
    extra=$(( have < 500 ? 500 - have : 0 ))
    (as_child bash -c "for i in \$(seq $extra); do sleep 3600 & done; wait" 2>/dev/null &)
    for _ in $(seq 100); do [ "$(ps -e --no-headers | wc -l)" -ge 500 ] && break; sleep 0.1; done
    echo "processes running: $(ps -e --no-headers | wc -l)"
}
# The peer: `ps` twice a second, killing what it finds named firefox among the throwaway
# child's processes (never another account's). Started in the background; its pid in $peer.
start_peer() {
    cat > "$work/peer.sh" <<'PEER'
while :; do
    ps -u "$1" -o pid=,comm= | awk '$2 == "firefox" && $1 > 0 {print $1}' | xargs -r kill 2>/dev/null
    sleep 0.5
done
PEER
    bash "$work/peer.sh" "$child" 2>/dev/null &
    peer=$!
}
