#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need (as root, non-interactive),
# and the locales the tests use. Does nothing for what is already there.
set -euo pipefail
packages=(cmake ninja-build g++ clang libclang-rt-14-dev qt6-base-dev libsqlite3-dev libgtest-dev
          libbenchmark-dev xvfb xauth xdotool imagemagick x11-utils fonts-dejavu-core locales python3
          coreutils dbus openbox wmctrl passwd procps dpkg-dev lintian desktop-file-utils
          librsvg2-bin adduser file man-db xdg-utils debhelper firefox-esr libsystemd-dev
          pkg-config tzdata xinput libnftables-dev nftables iproute2 python3-dbusmock dunst)
# The packages of "$@" not installed yet, into the array missing.
find_missing() {
    missing=()
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
    done
}
export DEBIAN_FRONTEND=noninteractive
updated=
update_once() { [ -n "$updated" ] || apt-get update -qq; updated=yes; }
find_missing "${packages[@]}"
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    update_once
    apt-get install -y -qq "${missing[@]}" >/dev/null
fi
# Real browsers and programs that embed a browser engine, for the tests that must stop (or spare)
# one. Optional: one that cannot be installed is reported, and its tests skip it.
find_missing chromium epiphany-browser falkon yelp thunderbird w3m
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    update_once || true
    apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null 2>&1 ||
        for p in "${missing[@]}"; do
            apt-get install -y -qq --no-install-recommends "$p" >/dev/null 2>&1 ||
                echo "warning: $p cannot be installed; the tests with real browsers skip it"
        done
fi
want=()
for l in en_US.UTF-8 de_DE.UTF-8; do
    locale -a 2>/dev/null | grep -qi "^${l%.UTF-8}.utf8$" || want+=("$l")
done
if [ ${#want[@]} -gt 0 ]; then
    for l in "${want[@]}"; do
        grep -q "^$l UTF-8" /etc/locale.gen 2>/dev/null || echo "$l UTF-8" >> /etc/locale.gen
    done
    locale-gen >/dev/null
fi
