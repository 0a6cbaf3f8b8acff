# A throwaway unprivileged user for the roads a child's account walks: created by make_child,
# removed by remove_child with every process it still has (all of them started by the test or by
# what it started). The caller removes it in its EXIT trap, so it goes also when the test fails.
# Needs $work; the child's home and runtime directory live there.
child=
make_child() {
    child=vtxe$(head -c 64 /dev/urandom | tr -dc a-z | head -c 6)
    useradd --system --no-create-home --shell /usr/sbin/nologin --home-dir "$work/home" "$child"
    mkdir -p "$work/home" "$work/runtime"
    chown "$child:" "$work/home" "$work/runtime"
    chmod 700 "$work/runtime"
    chmod 755 "$work"
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
    child=
}
# Runs a command as the child, in the child's own environment (and the test's store locations,
# when the test moved them).
as_child() { run_as_child "" "$@"; }
# The same without a network (a namespace of its own, loopback down): for real browsers, which
# would otherwise reach out to their makers' servers.
as_child_offline() { run_as_child "unshare -n --" "$@"; }
run_as_child() {
    local prefix=$1
    shift
    local env=(HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" DISPLAY="${DISPLAY:-}"
               PATH=/usr/bin:/bin LANG=C.UTF-8)
    [ -n "${VELTRIX_USER_STORE:-}" ] && env+=(VELTRIX_USER_STORE="$VELTRIX_USER_STORE")
    [ -n "${VELTRIX_MACHINE_STORE:-}" ] && env+=(VELTRIX_MACHINE_STORE="$VELTRIX_MACHINE_STORE")
    [ -n "${VELTRIX_CONTROL_SOCKET:-}" ] && env+=(VELTRIX_CONTROL_SOCKET="$VELTRIX_CONTROL_SOCKET")
    $prefix runuser -u "$child" -- env -i "${env[@]}" "$@"
}
# The pids of the child's processes running PROGRAM (its name, as ps shows it).
child_pids() {
    ps -u "$child" -o pid=,comm= | awk -v p="$1" '$2 == p {print $1}'
}
# Box number and place of an hour of a weekday on the main window: "box x y" (client coordinates
# below the menu bar). The numbering of lib/store/HourBoxes.h.
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
# Unticks the current hour of today on the unlocked main window $1 (menu bar height $2) and prints
# its box number. Not across an hour's end: waits out the last minute of an hour.
untick_current_hour() {
    while [ "$(date +%M)" = 59 ]; do sleep 5; done
    local box x y
    read -r box x y < <(hour_box "$(date +%w)" "$((10#$(date +%H)))")
    click_at "$1" "$x" $(($2 + y))
    echo "$box"
}
# Unticks the current hour of today and the next on the unlocked main window $1 (menu bar height
# $2) and prints the current one's box number: a walk of up to an hour that needs a blocked hour
# keeps one across the hour's end. The hour after 23:00 is tomorrow's, on another page: within
# the last $3 minutes of a day this waits for midnight instead.
untick_hours_ahead() {
    while [ "$(date +%H)" = 23 ] && [ $((60 - 10#$(date +%M))) -le "$3" ]; do sleep 5; done
    local day hour box x y
    read -r day hour < <(date '+%w %H')
    hour=$((10#$hour))
    read -r box x y < <(hour_box "$day" "$hour")
    click_at "$1" "$x" $(($2 + y))
    if [ "$hour" -lt 23 ]; then
        read -r _ x y < <(hour_box "$day" $((hour + 1)))
        click_at "$1" "$x" $(($2 + y))
    fi
    echo "$box"
}
