#!/usr/bin/env bash
# The guard really blocks, in a child's own unprivileged account on a desktop: the parent unlocks
# the panel, unticks the current hour of today, presses "Enable Veltrix" and closes; a browser
# started afterwards is stopped within moments, and the statistics window shows the line.
E2E_REAL_GUARD=1
. "$(dirname "$0")/lib.sh"
make_child
trap 'remove_child; cleanup' EXIT
export VELTRIX_USER_STORE=$work/home/store
chown -R "$child:" "$program"     # the program directory keeps Block.log
as_child "$reg" set HKCU "$settings" parametr1 5
as_child "$reg" set HKCU "$settings" EnterPassword pw
start_panel_as_child
main=$(unlock "$(wait_window '^Veltrix$')" pw)
focus "$main"
menu=$(menu_height "$main")
box=$(untick_current_hour "$main" "$menu")
shot guard-hour-unticked
click_at "$main" 104 $((menu + 459))       # Enable Veltrix
for _ in $(seq 200); do grep -q 'Settings read' "$program/Block.log" 2>/dev/null && break; sleep 0.05; done
click_at "$main" 244 $((menu + 491))       # Close
wait_panel_exit
[ "$(as_child "$reg" get HKCU "$settings" "CheckBox${box}Check")" = 0 ] || fail "box $box not saved"
[ "$(as_child "$reg" get HKCU "$settings" NeedJobOrNot)" = Yes ] || fail "blocking not on"
grep -q 'Sentrel .* started' "$program/Block.log" || fail "no guard started: $(cat "$program/Block.log")"

# The guard follows the saved grid; a browser started now is stopped.
cp "$build/tools/fake-program" "$work/home/firefox"
chown "$child:" "$work/home/firefox"
for _ in $(seq 200); do grep -q "blocked hours today.*$(date +%H):00" "$program/Block.log" && break; sleep 0.05; done
start=$(date +%s%N)
as_child "$work/home/firefox" 2>/dev/null &
browser=$!
disown "$browser"
for _ in $(seq 400); do kill -0 "$browser" 2>/dev/null || break; sleep 0.025; done
kill -0 "$browser" 2>/dev/null && fail "the browser still runs: $(cat "$program/Block.log")"
echo "the browser was stopped after $(( ($(date +%s%N) - start) / 1000000 )) ms"
grep -q "Stopped firefox (pid [0-9]*, $work/home/firefox), a web browser:" "$program/Block.log" \
    || fail "no line in Block.log: $(cat "$program/Block.log")"

# The parent reads it in the statistics window.
start_panel_as_child
main=$(unlock "$(wait_window '^Veltrix$')" pw)
focus "$main"
key alt+v Return
stats=$(wait_window '^Veltrix Statistics$')
shot guard-statistics
click_at "$stats" 348 451                  # Close: writes the log back
wait_gone "$stats"
focus "$main"
click_at "$main" 244 $((menu + 491))
wait_panel_exit
grep -q 'Stopped firefox' "$program/Block.log" || fail "the line was lost"
echo "PASS: unticked hour, Enable, a browser stopped, the line in the statistics window"
