#!/usr/bin/env bash
# A later start on a real (virtual) display: open each dialog from its menu or shortcut, change
# the password, press "Enable Veltrix", close; then the store, Block.log and the autostart entry
# show what a parent did.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 5
"$reg" set HKCU "$settings" EnterPassword pw
"$reg" set HKCU "$settings" App1 game.exe
"$reg" set HKCU "$settings" thisversion "Veltrix v1.0"
start_panel

lock=$(wait_window '^Veltrix$')
focus "$lock"
type_text pw
key Return
main=$(wait_window '^Veltrix \(for kids\)$')
focus "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
menu=$((HEIGHT - 510))

key ctrl+b
apps=$(wait_window '^Block applications$')
shot blocked-applications
click_at "$apps" 356 363          # Cancel
wait_gone "$apps"

focus "$main"
key alt+v Return                  # View, Statistics...
stats=$(wait_window '^Veltrix Statistics$')
shot statistics
click_at "$stats" 348 451         # Close
wait_gone "$stats"

focus "$main"
key alt+h Return                  # Help, About...
about=$(wait_window '^About$')
shot about
click_at "$about" 116 227         # OK
wait_gone "$about"

focus "$main"
key ctrl+c                        # File, Change password...
change=$(wait_window '^Veltrix$' "$lock")
focus "$change"
type_text new-pw
key Tab
type_text new-pw
key Return
reminder=$(wait_window '^Veltrix$' "$lock $change")
focus "$reminder"
key Return
wait_gone "$change"

focus "$main"
key alt+f Right Right Return      # Update, Check up of updating..
wait_window '^Check up of updating$' >/dev/null
shot update-checker

focus "$main"
click_at "$main" 104 $((menu + 459))   # Enable Veltrix
for _ in $(seq 100); do grep -q 'Sentrel started' "$program/Block.log" 2>/dev/null && break; sleep 0.05; done
click_at "$main" 244 $((menu + 491))   # Close
wait_panel_exit

[ "$(value NeedJobOrNot)" = Yes ] || fail "NeedJobOrNot is '$(value NeedJobOrNot)'"
is_hash_of new-pw "$(value EnterPassword)" || fail "password not changed"
[ "$(value parametr1)" = 6 ] || fail "launch counter is $(value parametr1)"
[ "$("$reg" get HKLM "$run_key" Sentrel)" = "$program/Sentrel.exe" ] || fail "autostart entry"
grep -q 'Sentrel started: .*blocked applications: game.exe' "$program/Block.log" \
    || fail "guard did not record its start: $(cat "$program/Block.log" 2>/dev/null)"
echo "PASS: dialogs from menus and shortcuts, password changed, guard enabled and started"
