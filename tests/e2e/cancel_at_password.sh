#!/usr/bin/env bash
# Cancel at the password on a real (virtual) display ends the program: the counter and the 168
# flags are written, the position is not.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 3
"$reg" set HKCU "$settings" EnterPassword pw
start_panel
lock=$(wait_window '^Veltrix$')
click_at "$lock" 196 99      # Cancel
wait_panel_exit
[ "$("$reg" get HKCU "$settings" parametr1)" = 4 ] || fail "counter"
"$reg" get HKCU "$settings" form1lefta >/dev/null && fail "position written"
[ "$("$reg" list HKCU "$settings" | grep -c 'Check	sz	1')" = 168 ] || fail "flags"
echo "PASS: Cancel ends the program, saves flags, no position"
