#!/usr/bin/env bash
# The end of the session (SIGTERM) while the panel is unlocked saves the parent's edits.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 7
start_panel
lock=$(wait_window '^Veltrix$')
focus "$lock"
key Return                                    # no password stored: the empty entry unlocks
main=$(wait_window '^Veltrix \(for kids\)$')
eval "$(xdotool getwindowgeometry --shell "$main")"
menu=$((HEIGHT - 510))
focus "$main"
# Whatever day is shown, its first box ("12  AM") sits here.
toggle_at "$main" 40 $((menu + 72 + 32 + 8))
kill -TERM "$panel"
wait_panel_exit
zeros=$("$reg" list HKCU "$settings" | awk -F'\t' '$1 ~ /^CheckBox[0-9]+Check$/ && $3 == "0"' | wc -l)
[ "$zeros" = 1 ] || fail "$zeros unticked flags saved"
[ -n "$("$reg" get HKCU "$settings" form1lefta)" ] || fail "no position saved"
echo "PASS: SIGTERM runs the shutdown sequence"
