#!/usr/bin/env bash
# Other processes touch the store while the panel runs: the store tool repairs a value while the
# first-password dialog is up, and sets another while the panel is unlocked; a second panel is
# started and cancelled. The parent's new password, Switch off, an untick and the close are all
# saved, and so are the other processes' writes.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 0
start_panel

wait_window '^Veltrix$' >/dev/null
"$reg" set HKCU "$settings" App1 repaired || fail "the store tool was refused"
lock=$(choose_password 'pw 2')
main=$(unlock "$lock" 'pw 2')
menu=$(menu_height "$main")

"$reg" set HKCU "$settings" App2 'from a shell' || fail "the store tool was refused"
# A second panel, cancelled at its password.
first_panel=$panel
start_panel
second=$panel
other=$(wait_window '^Veltrix$' "$lock")
focus "$other"
click_at "$other" 196 99                      # Cancel
wait_panel_exit
panel=$first_panel

focus "$main"
click_at "$main" 40 $((menu + 72 + 32 + 8))   # untick the shown day's "12  AM"
click_at "$main" 244 $((menu + 459))          # Switch off
for _ in $(seq 100); do [ "$(value NeedJobOrNot)" = No ] && break; sleep 0.05; done
shot shared-store
click_at "$main" 244 $((menu + 491))          # Close
wait_panel_exit
grep -q 'database is locked' "$work/panel.log" && fail "the store refused a use: $(cat "$work/panel.log")"

is_hash_of 'pw 2' "$(value EnterPassword)" || fail "the new password was lost"
[ "$(value NeedJobOrNot)" = No ] || fail "Switch off was lost"
[ "$(value App1)" = repaired ] || fail "the repair was lost"
[ "$(value App2)" = 'from a shell' ] || fail "the shell's value was lost"
[ "$(value parametr1)" = 2 ] || fail "launch counter is $(value parametr1)"
zeros=$("$reg" list HKCU "$settings" | awk -F'\t' '$1 ~ /^CheckBox[0-9]+Check$/ && $3 == "0"' | wc -l)
[ "$zeros" = 1 ] || fail "$zeros unticked flags saved"
echo "PASS: the panel's uses land while others write; theirs land too (second panel $second)"
