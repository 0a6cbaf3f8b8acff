# Shared steps of the end-to-end tests: a temporary program directory installed from the build,
# a temporary store, a desktop (desktop.sh), and a throwaway account for a child's roads
# (child.sh).
set -euo pipefail
here=$(dirname "${BASH_SOURCE[0]}")
. "$here/desktop.sh"
. "$here/child.sh"
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/veltrix-e2e-XXXXXX)
program=$work/program
shots=${E2E_SHOTS:-$build/e2e-shots}
mkdir -p "$shots"
VELTRIX_TEST_INSTALL=1 cmake --install "$build" --prefix "$program" >/dev/null
# These tests run the panel as root: a real guard started by "Enable Veltrix" could stop processes
# the test did not start. A stand-in that only records its start takes its place; the guard's own
# end-to-end test runs it as a throwaway user (guard_blocks.sh).
if [ "${E2E_REAL_GUARD:-0}" != 1 ]; then
    cp "$build/tools/guard-stand-in" "$program/Sentrel.exe"
fi
export VELTRIX_USER_STORE=$work/store/user
export VELTRIX_MACHINE_STORE=$work/store/machine
export VELTRIX_CONTROL_SOCKET=$work/no-service  # no system service unless a test starts one
# Whether the store's "EnterPassword" ($2) is the hash of the password $1.
is_hash_of() {
    /usr/bin/python3 -W ignore -c 'import crypt, sys; sys.exit(0 if sys.argv[2].startswith("$y$") and crypt.crypt(sys.argv[1], sys.argv[2]) == sys.argv[2] else 1)' "$1" "$2" 2>/dev/null
}
reg=$program/veltrix-reg
settings='\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune'
run_key='\Software\Microsoft\Windows\CurrentVersion\Run'

start_desktop
panel=
cleanup() {
    [ -n "$panel" ] && kill "$panel" 2>/dev/null || true
    stop_desktop
    rm -rf "$work"
}
trap cleanup EXIT

value() { "$reg" get HKCU "$settings" "$1"; }
start_panel() {
    (cd "$program" && exec ./veltrix) >"$work/panel.log" 2>&1 &
    panel=$!
}
wait_panel_exit() {
    for _ in $(seq 200); do kill -0 "$panel" 2>/dev/null || { panel=; return 0; }; sleep 0.05; done
    fail "the panel did not end"
}

start_panel_as_child() {
    (cd "$program" && exec runuser -u "$child" -- env HOME="$work/home" \
        XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$DISPLAY" VELTRIX_USER_STORE="$VELTRIX_USER_STORE" \
        VELTRIX_MACHINE_STORE="$VELTRIX_MACHINE_STORE" VELTRIX_CONTROL_SOCKET="$VELTRIX_CONTROL_SOCKET" ./veltrix) >"$work/panel.log" 2>&1 &
    panel=$!
}
