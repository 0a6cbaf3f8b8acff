# Shared steps of the end-to-end tests: a temporary program directory installed from the build,
# a temporary store, a virtual display, and xdotool helpers that wait instead of sleeping.
set -euo pipefail
build=$(cd "$1" && pwd)
work=$(mktemp -d /tmp/veltrix-e2e-XXXXXX)
program=$work/program
shots=${E2E_SHOTS:-$build/e2e-shots}
mkdir -p "$shots"
cmake --install "$build" --prefix "$program" >/dev/null
# These tests run the panel as root: a real guard started by "Enable Veltrix" could stop processes
# the test did not start. A stand-in that only records its start takes its place; the guard's own
# end-to-end test runs it as a throwaway user (guard_blocks.sh).
if [ "${E2E_REAL_GUARD:-0}" != 1 ]; then
    cp "$build/tools/guard-stand-in" "$program/Sentrel.exe"
fi
export VELTRIX_USER_STORE=$work/store/user
export VELTRIX_MACHINE_STORE=$work/store/machine
reg=$program/veltrix-reg
settings='\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune'
run_key='\Software\Microsoft\Windows\CurrentVersion\Run'

exec 5> "$work/displayfd"
Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
for _ in $(seq 100); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
export DISPLAY=:$(head -n1 "$work/displayfd")
unset QT_QPA_PLATFORM
panel=
cleanup() {
    [ -n "$panel" ] && kill "$panel" 2>/dev/null || true
    kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "FAIL: $*" >&2; shot failure || true; exit 1; }
shot() { import -window root "$shots/$1.png" 2>/dev/null || true; }

# Waits until a visible window whose title matches $1 exists, other than the ids in $2; prints it.
wait_window() {
    local pattern=$1 except=${2:-} id
    for _ in $(seq 200); do
        for id in $(xdotool search --onlyvisible --name "$pattern" 2>/dev/null); do
            case " $except " in *" $id "*) ;; *) echo "$id"; return 0 ;; esac
        done
        sleep 0.05
    done
    fail "no window '$pattern' appeared"
}
# Waits until window $1 is no longer visible.
wait_gone() {
    for _ in $(seq 200); do
        xdotool search --onlyvisible --name '.' 2>/dev/null | grep -qx "$1" || return 0
        sleep 0.05
    done
    fail "window $1 did not go away"
}
focus() { xdotool windowfocus --sync "$1"; sleep 0.1; }
type_text() { xdotool type --delay 20 "$1"; }
key() { xdotool key --delay 30 "$@"; }
click_at() { xdotool mousemove --window "$1" "$2" "$3" click 1; sleep 0.1; }
value() { "$reg" get HKCU "$settings" "$1"; }
start_panel() {
    (cd "$program" && exec ./veltrix) >"$work/panel.log" 2>&1 &
    panel=$!
}
wait_panel_exit() {
    for _ in $(seq 200); do kill -0 "$panel" 2>/dev/null || { panel=; return 0; }; sleep 0.05; done
    fail "the panel did not end"
}
