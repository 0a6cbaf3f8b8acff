#!/usr/bin/env bash
# The built package, checked from the .deb itself: its files with their modes and owners, its
# metadata and computed dependencies, its maintainer scripts, lintian (no error), and the menu
# and autostart entries (desktop-file-validate). Also that the programs start from a clean
# unpacking: the guard and the store tool answer, the launcher is a shell script that seeds and
# starts the panel.
#   check_package.sh DEB
set -euo pipefail
deb=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Files, modes, owners (sizes and dates aside).
dpkg-deb -c "$deb" | awk '{ $3 = $4 = $5 = ""; print }' | sed 's/  */ /g' | sort > "$work/files"
sort "$here/expected-files.txt" > "$work/expected"
diff -u "$work/expected" "$work/files" || fail "the package's files differ from tests/package/expected-files.txt"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = veltrix ] || fail "package name"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "architecture"
[[ "$deb" == */veltrix_"$(field Version)"_"$(field Architecture)".deb ]] || fail "file name $deb"
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6dbus6 libsqlite3-0 \
           qt6-qpa-plugins adduser; do
    [[ ", $depends," == *", $lib "* || ", $depends," == *", $lib,"* ]] || fail "no dependency on $lib: $depends"
done
[ -n "$(field Description)" ] || fail "no description"

dpkg-deb -e "$deb" "$work/control"
for script in postinst prerm postrm; do
    [ -x "$work/control/$script" ] || fail "$script missing or not executable"
    sh -n "$work/control/$script" || fail "$script: syntax"
done
grep -qx /etc/xdg/autostart/veltrix-guard.desktop "$work/control/conffiles" || fail "conffiles"
(cd "$work" && dpkg-deb -x "$deb" root && cd root && md5sum --quiet -c "$work/control/md5sums") \
    || fail "md5sums"

# lintian: errors fail, the rest is shown. (It runs as nobody: lintian does not want root.)
cp "$deb" "$work/check.deb"
chmod 755 "$work"
chmod 644 "$work/check.deb"
if [ "$(id -u)" = 0 ]; then
    runuser -u nobody -- env HOME=/tmp lintian --fail-on error --display-info "$work/check.deb" \
        || fail "lintian found errors"
else
    lintian --fail-on error --display-info "$work/check.deb" || fail "lintian found errors"
fi

desktop-file-validate "$work/root/usr/share/applications/veltrix.desktop" || fail "menu entry"
desktop-file-validate "$work/root/etc/xdg/autostart/veltrix-guard.desktop" || fail "autostart entry"
desktop-file-validate "$work/root/etc/xdg/autostart/veltrix-notifier.desktop" || fail "notifier's autostart entry"
grep -qx 'Exec="/opt/veltrix/veltrix-reg" run-login' "$work/root/etc/xdg/autostart/veltrix-guard.desktop" \
    || fail "autostart command"
grep -qx 'Icon=veltrix' "$work/root/usr/share/applications/veltrix.desktop" || fail "menu icon"
head -n1 "$work/root/usr/bin/veltrix" | grep -qx '#!/bin/sh' || fail "launcher"
sh -n "$work/root/usr/bin/veltrix" || fail "launcher syntax"
grep -q "thisversion \"Veltrix v$(field Version)\"" "$work/root/usr/bin/veltrix" || fail "launcher version"
for page in man1/veltrix.1 man1/veltrix-reg.1 man8/veltrixd.8; do
    man -l "$work/root/usr/share/man/$page.gz" 2>&1 >/dev/null | grep -q . && fail "man page $page warns"
    zcat "$work/root/usr/share/man/$page.gz" | grep -q '^\.SH NAME' || fail "man page $page"
done
# The service's unit as dh_installsystemd installs it: enabled and started by the scripts.
grep -q 'deb-systemd-helper' "$work/control/postinst" || fail "postinst does not enable the service"
grep -q 'veltrixd.service' "$work/control/prerm" || fail "prerm does not stop the service"
grep -q -- '--adopt-stores' "$work/control/postinst" || fail "postinst does not seal what an upgrade finds"
file "$work/root/opt/veltrix/veltrix" | grep -q 'stripped$' || fail "the panel is not stripped"
"$work/root/opt/veltrix/veltrix-reg" >/dev/null 2>&1 && fail "the store tool accepts no arguments"
[ $? -ne 127 ] || fail "the store tool does not start"
echo "PASS: package contents, metadata, scripts, lintian, desktop entries"
