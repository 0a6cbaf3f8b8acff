# A desktop for end-to-end tests: a virtual display with a real window manager (openbox), and
# xdotool helpers that wait instead of sleeping. Needs $work (a temporary directory) and $shots.
start_desktop() {
    # A loaded machine can take seconds to bring up either, and a display that a server still
    # shutting down (the previous test's) takes away again is started anew, up to 3 times.
    local tries
    for tries in 1 2 3; do
        start_xvfb && start_openbox && return 0
        stop_desktop
    done
    echo "FAIL: no desktop ($tries tries): $(cat "$work/openbox.log" "$work/xvfb.log" 2>/dev/null)" >&2
    exit 1
}
# (-noreset: a server that resets when its last client leaves, as xdpyinfo's check here does,
# refuses the next client while it does.)
start_xvfb() {
    : > "$work/displayfd"
    if [ -n "${XVFB_AUTH:-}" ]; then
        start_xvfb_with_auth || return 1
    else
        exec 5> "$work/displayfd"
        Xvfb -displayfd 5 -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
        xvfb=$!
        exec 5>&-
    fi
    for _ in $(seq 300); do [ -s "$work/displayfd" ] && break; sleep 0.1; done
    [ -s "$work/displayfd" ] || return 1
    export DISPLAY=:$(head -n1 "$work/displayfd")
    unset QT_QPA_PLATFORM
    for _ in $(seq 300); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
    return 1
}
# A display only the holders of the cookie in $XVFB_AUTH may use (the file is $XVFB_AUTH_OWNER's
# and root's), as a desktop session's own X server is: another account's clients are refused.
start_xvfb_with_auth() {
    local n
    for n in $(seq 70 99); do [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break; done
    rm -f "$XVFB_AUTH"
    xauth -q -f "$XVFB_AUTH" add ":$n" MIT-MAGIC-COOKIE-1 "$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')"
    chmod 600 "$XVFB_AUTH"
    [ -n "${XVFB_AUTH_OWNER:-}" ] && chown "$XVFB_AUTH_OWNER" "$XVFB_AUTH"
    export XAUTHORITY=$XVFB_AUTH
    Xvfb ":$n" -auth "$XVFB_AUTH" -screen 0 1280x800x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    echo "$n" > "$work/displayfd"
}
# A real window manager, as on a desktop: frames, focus and placement are its.
start_openbox() {
    openbox --sm-disable >"$work/openbox.log" 2>&1 &
    wm=$!
    for _ in $(seq 600); do
        wmctrl -m >/dev/null 2>&1 && return 0
        kill -0 "$wm" 2>/dev/null || return 1
        sleep 0.05
    done
    return 1
}
# Ends both and waits until they have, so the next test's server never meets this one shutting down.
stop_desktop() {
    local pid
    for pid in ${wm:-} ${xvfb:-}; do
        kill "$pid" 2>/dev/null || continue
        for _ in $(seq 100); do
            case $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) in '' | Z) break ;; esac
            sleep 0.05
        done
        kill -9 "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    wm= xvfb=
}

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
# The pixels of window $1 around $2,$3.
pixels_at() { import -window "$1" -crop "12x12+$(($2 - 6))+$(($3 - 6))" rgb:- 2>/dev/null | md5sum; }
# Clicks a check box at $2,$3 in window $1 and waits until it shows its new state, so that what
# follows (a signal, a close) sees the program after the click. The pointer is moved there first
# and the box's hover look left to settle, so only the click itself can change the pixels.
toggle_at() {
    local before= now
    xdotool mousemove --window "$1" "$2" "$3"
    for _ in $(seq 100); do
        now=$(pixels_at "$1" "$2" "$3")
        [ "$now" = "$before" ] && break
        before=$now
    done
    xdotool click 1
    for _ in $(seq 200); do
        [ "$(pixels_at "$1" "$2" "$3")" != "$before" ] && return 0
        sleep 0.05
    done
    fail "the box at $2,$3 did not change"
}
# Waits until the only visible window of process $1 is $2 (a popup it opened has closed).
wait_only_window() {
    for _ in $(seq 200); do
        [ "$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | sort -u)" = "$2" ] && return 0
        sleep 0.05
    done
    fail "process $1 still shows other windows than $2"
}

# Chooses password $1 in the first-password dialog (a screenshot named $2, if given) and confirms
# the reminder; prints the dialog's id.
first_password() {
    local first reminder
    first=$(wait_window '^Veltrix$')
    [ -n "${2:-}" ] && shot "$2"
    focus "$first"
    type_text "$1"
    key Tab
    type_text "$1"
    key Return
    reminder=$(wait_window '^Veltrix$' "$first")
    focus "$reminder"
    key Return
    wait_gone "$first"
    echo "$first $reminder"
}
# The panel's first start: first_password, then prints the id of the enter-password dialog that
# follows.
choose_password() {
    local seen
    seen=$(first_password "$@")
    wait_window '^Veltrix$' "$seen"
}
# Types password $2 into the enter-password dialog $1; prints the main window's id once it is up.
unlock() {
    focus "$1"
    type_text "$2"
    key Return
    wait_window '^Veltrix \(for kids\)$'
}
# The height of the menu bar of main window $1 (its client area below is 510 high).
menu_height() {
    local HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" | grep '^HEIGHT=')"
    echo $((HEIGHT - 510))
}
