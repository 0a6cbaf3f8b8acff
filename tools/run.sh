#!/usr/bin/env bash
# Builds the control panel, installs the program directory (veltrix and Sentrel.exe side by side)
# into run/program, seeds a fresh settings store in run/store as an installer would, and starts
# the panel. Without a display it starts a virtual one (Xvfb), says so, and saves a screenshot of
# what the panel shows to run/screenshot.png.
#   --keep        keep the store of the previous run instead of starting fresh
#   --demo-site   also start the demo product web site on 127.0.0.1:8080 (the update road)
set -euo pipefail
cd "$(dirname "$0")/.."
keep=0
demo=0
for arg in "$@"; do
    case $arg in
        --keep) keep=1 ;;
        --demo-site) demo=1 ;;
        *) echo "usage: tools/run.sh [--keep] [--demo-site]" >&2; exit 2 ;;
    esac
done
bash tools/install-deps.sh
# A tree of its own, as a person's build: no tests, none of their doors (the test command's
# build/ has them and cannot be installed).
cmake -S . -B build-run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELTRIX_TESTS=OFF \
      -DVELTRIX_TEST_SEAMS=OFF -DVELTRIX_BENCH=OFF >/dev/null
cmake --build build-run
root=$PWD/run
cmake --install build-run --prefix "$root/program" >/dev/null
[ $keep = 1 ] || rm -rf "$root/store"
export VELTRIX_USER_STORE=$root/store/user
export VELTRIX_MACHINE_STORE=$root/store/machine
reg=$root/program/veltrix-reg
settings='\Software\Microsoft\Windows\CurrentVersion\Quenmark\Kestrune'
# The installer's values, only where absent.
"$reg" get HKCU "$settings" parametr1 >/dev/null || "$reg" set HKCU "$settings" parametr1 0
version=$(sed -n 's/^project(veltrix VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
"$reg" get HKCU "$settings" thisversion >/dev/null || "$reg" set HKCU "$settings" thisversion "Veltrix v$version"
# The login autostart entry that acts on the machine-wide Run key, as the Windows shell does
# (unless the package is installed: its entry has the same name).
if { [ -w /etc/xdg ] || [ "$(id -u)" = 0 ]; } && \
   ! dpkg-query -W -f '${Status}' veltrix 2>/dev/null | grep -q 'ok installed'; then
    bash tools/install-autostart.sh "$root/program"
fi
echo "program directory: $root/program"
echo "settings store:    $root/store"

if [ $demo = 1 ]; then
    python3 tools/demo_site.py --port 8080 &
    site=$!
    trap 'kill $site 2>/dev/null || true' EXIT
    export VELTRIX_SITE=127.0.0.1:8080
fi
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=$root/runtime
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi
cd "$root/program"
if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:77
    echo "no display: starting the panel on a virtual display (Xvfb $DISPLAY)"
    Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
    xvfb=$!
    trap 'kill $xvfb ${site:-} 2>/dev/null || true' EXIT
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
    ./veltrix &
    panel=$!
    for _ in $(seq 100); do
        xdotool search --name '^Veltrix$' >/dev/null 2>&1 && break
        sleep 0.1
    done
    sleep 0.5
    import -window root "$root/screenshot.png" && echo "screenshot of the panel: $root/screenshot.png"
    echo "the panel runs on the virtual display; stop it with Ctrl+C"
    wait $panel
else
    ./veltrix
fi
