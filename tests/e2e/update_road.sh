#!/usr/bin/env bash
# The update road on a real (virtual) display against the demo product web site: open the
# checker from the menu, test the connection, ask for the last version, press "Download new
# version"; the browser is handed the download page.
. "$(dirname "$0")/lib.sh"
"$reg" set HKCU "$settings" parametr1 2
"$reg" set HKCU "$settings" thisversion "Veltrix v1.0"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 "$(dirname "$0")/../../tools/demo_site.py" --port "$port" --latest "Veltrix v1.1" >"$work/site.log" 2>&1 &
site=$!
trap 'kill $site 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 100); do grep -q 'demo site on' "$work/site.log" && break; sleep 0.05; done
export VELTRIX_SITE=127.0.0.1:$port
printf '#!/bin/sh\necho "$1" >> "%s/opened"\n' "$work" > "$work/browser"
chmod +x "$work/browser"
export VELTRIX_BROWSER=$work/browser
start_panel

lock=$(wait_window '^Veltrix$')
focus "$lock"
key Return                                    # no password stored: the empty entry unlocks
main=$(wait_window '^Veltrix \(for kids\)$')
focus "$main"
key alt+f Right Right Return                  # Update, Check up of updating..
checker=$(wait_window '^Check up of updating$')
# Each step button appears only after the step before it; a press during a fetch is ignored, so
# pressing until the effect shows is safe on a slow machine.
press_until() {  # x y condition...
    local x=$1 y=$2; shift 2
    for _ in $(seq 60); do
        "$@" && return 0
        click_at "$checker" "$x" "$y"
        sleep 0.25
    done
    "$@" || fail "pressing at $x,$y had no effect"
}
press_until 120 171 grep -q 'conect.html' "$work/site.log"     # To check up connection
press_until 120 195 grep -q 'update.html' "$work/site.log"     # What last version?
shot update-offered
press_until 120 219 test -s "$work/opened"                     # Download new version
click_at "$checker" 256 275                   # Close
wait_gone "$checker"
focus "$main"
click_at "$main" 244 $(( $(xdotool getwindowgeometry --shell "$main" | sed -n 's/HEIGHT=//p') - 510 + 491 ))
wait_panel_exit

grep -q 'GET /english/veltrix/conect.html' "$work/site.log" || fail "no connection test"
grep -q 'GET /english/veltrix/update.html' "$work/site.log" || fail "no version request"
grep -qx "http://127.0.0.1:$port/english/download.html" "$work/opened" || fail "download page not opened: $(cat "$work/opened" 2>/dev/null)"
echo "PASS: update road: connected, new version offered, download page opened"
