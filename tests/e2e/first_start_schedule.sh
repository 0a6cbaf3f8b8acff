#!/usr/bin/env bash
# A parent's first start on a real (virtual) display: choose and confirm a password, unlock,
# untick "5  AM" on Tuesday, close; then only CheckBox10Check is "0" in the store.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 0
"$reg" set HKCU "$settings" thisversion "Veltrix v1.0"
start_panel

first=$(wait_window '^Veltrix$')
shot first-password
focus "$first"
type_text 'tu es 1'
key Tab
type_text 'tu es 1'
key Return
box=$(wait_window '^Veltrix$' "$first")
shot reminder
focus "$box"
key Return
wait_gone "$first"

lock=$(wait_window '^Veltrix$' "$first $box")
shot enter-password
xdotool search --onlyvisible --name '^Veltrix \(for kids\)$' >/dev/null 2>&1 && fail "main window visible while locked"
focus "$lock"
type_text 'wrong'
key Return
msg=$(wait_window '^Veltrix$' "$first $box $lock")
focus "$msg"
key Return
wait_gone "$msg"
focus "$lock"
key ctrl+a BackSpace
type_text 'tu es 1'
key Return

main=$(wait_window '^Veltrix \(for kids\)$')
focus "$main"
eval "$(xdotool getwindowgeometry --shell "$main")"
menu=$((HEIGHT - 510))
# Choose Tuesday in the day list, then untick box 10 ("5  AM") on its panel.
click_at "$main" 150 $((menu + 44))   # focus the day list (its popup may open)
key Escape                            # close the popup; the list keeps the focus
wait_only_window "$panel" "$main"
key Home Down Down                    # Sunday, Monday, Tuesday
toggle_at "$main" 40 $((menu + 72 + 152 + 8))
shot main-window
click_at "$main" 244 $((menu + 491))   # "Close"
wait_panel_exit

[ "$(value parametr1)" = 1 ] || fail "launch counter is $(value parametr1)"
is_hash_of 'tu es 1' "$(value EnterPassword)" || fail "password not stored as its hash"
zeros=$("$reg" list HKCU "$settings" | awk -F'\t' '$1 ~ /^CheckBox[0-9]+Check$/ && $3 == "0" {print $1}')
ones=$("$reg" list HKCU "$settings" | awk -F'\t' '$1 ~ /^CheckBox[0-9]+Check$/ && $3 == "1"' | wc -l)
[ "$zeros" = CheckBox10Check ] || fail "unticked flags: '$zeros'"
[ "$ones" = 167 ] || fail "$ones flags are 1"
[ -n "$(value form1lefta)" ] || fail "no position stored"
echo "PASS: first start, password, Tuesday 5 AM unticked and saved"
