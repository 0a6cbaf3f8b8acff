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
# A real window manager, as on a desktop: frames, focus and placement are its.
openbox --sm-disable >"$work/openbox.log" 2>&1 &
wm=$!
for _ in $(seq 100); do wmctrl -m >/dev/null 2>&1 && break; sleep 0.05; done
wmctrl -m >/dev/null 2>&1 || { echo "FAIL: openbox did not start" >&2; exit 1; }
panel=
cleanup() {
    [ -n "$panel" ] && kill "$panel" 2>/dev/null || true
    kill "$wm" 2>/dev/null || true
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

# A throwaway unprivileged user for roads a child's account walks: created here, removed with
# every process it still has (all started by the test) when the test ends, also on failure.
child=
make_child() {
    child=vtxe$(head -c 64 /dev/urandom | tr -dc a-z | head -c 6)
    useradd --system --no-create-home --shell /usr/sbin/nologin --home-dir "$work/home" "$child"
    mkdir -p "$work/home" "$work/runtime"
    chown "$child:" "$work/home" "$work/runtime"
    chmod 700 "$work/runtime"
    chmod 755 "$work"
    export VELTRIX_USER_STORE=$work/home/store
    trap 'remove_child; cleanup' EXIT
}
remove_child() {
    [ -n "$child" ] || return 0
    local uid pids
    uid=$(id -u "$child" 2>/dev/null) || return 0
    for _ in $(seq 50); do
        pids=$(ps -e -o uid=,pid= | awk -v u="$uid" '$1 == u {print $2}')
        [ -z "$pids" ] && break
        kill -KILL $pids 2>/dev/null || true
        sleep 0.05
    done
    userdel "$child" 2>/dev/null || true
}
# Runs a command as the child, with the child's own environment.
as_child() {
    runuser -u "$child" -- env HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
        DISPLAY="$DISPLAY" VELTRIX_USER_STORE="$VELTRIX_USER_STORE" \
        VELTRIX_MACHINE_STORE="$VELTRIX_MACHINE_STORE" PATH=/usr/bin:/bin "$@"
}
start_panel_as_child() {
    (cd "$program" && exec runuser -u "$child" -- env HOME="$work/home" \
        XDG_RUNTIME_DIR="$work/runtime" DISPLAY="$DISPLAY" VELTRIX_USER_STORE="$VELTRIX_USER_STORE" \
        VELTRIX_MACHINE_STORE="$VELTRIX_MACHINE_STORE" ./veltrix) >"$work/panel.log" 2>&1 &
    panel=$!
}
# Box number and place of an hour of today on the main window: "box x y" (client coordinates
# without the menu bar). Same numbering as store/HourBoxes.h.
hour_box() {
    python3 - "$1" "$2" <<'PY'
import sys
day, hour = int(sys.argv[1]), int(sys.argv[2])
morning = [0, 1, 2, 3, 4, 9, 8, 7, 6, 5, 10, 11]
k = morning.index(hour) if hour < 12 else 35 - hour
panel = [3, 4, 2, 5, 6, 7, 8][day]
top = 80 if panel == 7 else 72
print((panel - 2) * 24 + 1 + k, 8 + (24 if hour < 12 else 144) + 10, top + 32 + 24 * (hour % 12) + 8)
PY
}
