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
click_at "$checker" 120 171                   # To check up connection
for _ in $(seq 100); do grep -q 'conect.html' "$work/site.log" && break; sleep 0.05; done
sleep 0.3
click_at "$checker" 120 195                   # What last version?
for _ in $(seq 100); do grep -q 'update.html' "$work/site.log" && break; sleep 0.05; done
sleep 0.3
shot update-offered
click_at "$checker" 120 219                   # Download new version
for _ in $(seq 100); do [ -s "$work/opened" ] && break; sleep 0.05; done
click_at "$checker" 256 275                   # Close
wait_gone "$checker"
focus "$main"
click_at "$main" 244 $(( $(xdotool getwindowgeometry --shell "$main" | sed -n 's/HEIGHT=//p') - 510 + 491 ))
wait_panel_exit

grep -q 'GET /english/veltrix/conect.html' "$work/site.log" || fail "no connection test"
grep -q 'GET /english/veltrix/update.html' "$work/site.log" || fail "no version request"
grep -qx "http://127.0.0.1:$port/english/download.html" "$work/opened" || fail "download page not opened: $(cat "$work/opened" 2>/dev/null)"
echo "PASS: update road: connected, new version offered, download page opened"
