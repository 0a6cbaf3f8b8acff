#!/usr/bin/env bash
# Installs the system-wide login autostart entry (XDG autostart): at every login the desktop runs
# "veltrix-reg run-login", which starts each non-empty value under the machine-wide Run key.
#   install-autostart.sh PROGRAM_DIR [AUTOSTART_DIR]    (default /etc/xdg/autostart)
# The machine-wide store's location ($VELTRIX_MACHINE_STORE, when set) is written into the entry.
set -euo pipefail
case $1 in
    /*) program=${1%/} ;;              # as given: the package writes it before /opt/veltrix exists
    *) program=$(cd "$1" && pwd) ;;
esac
dir=${2:-/etc/xdg/autostart}
mkdir -p "$dir"
quote() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '"%s"' "$s"; }
exec_line="$(quote "$program/veltrix-reg") run-login"
if [ -n "${VELTRIX_MACHINE_STORE:-}" ]; then
    exec_line="env $(quote "VELTRIX_MACHINE_STORE=$VELTRIX_MACHINE_STORE") $exec_line"
fi
cat > "$dir/veltrix-guard.desktop" <<DESKTOP
[Desktop Entry]
Type=Application
Name=Veltrix guard
Comment=Starts the programs of the machine-wide Run key at login
Exec=$exec_line
NoDisplay=true
X-GNOME-Autostart-enabled=true
DESKTOP
echo "autostart entry: $dir/veltrix-guard.desktop"
