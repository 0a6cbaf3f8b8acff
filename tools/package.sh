#!/usr/bin/env bash
# Builds the Debian package: dist/veltrix_<version>_<arch>.deb.
#
# A release build (GCC, -O3, Debian's hardening flags), installed stripped into /opt/veltrix of a
# staging tree with the launcher, the menu entry and icon, the login autostart entry, man pages,
# the copyright and changelog, and the maintainer scripts; runtime dependencies computed by
# dpkg-shlibdeps; built with dpkg-deb, every file owned by root.
#   VELTRIX_PACKAGE_VERSION   the package version (default: the project's)
#   VELTRIX_PACKAGE_CMAKE     extra CMake arguments (the test command builds the whole tree
#                             with warnings as errors: -DVELTRIX_WERROR=ON -DVELTRIX_TESTS=ON ...)
#   BUILD_DIR                 the build tree (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
src=$PWD
version=${VELTRIX_PACKAGE_VERSION:-$(sed -n 's/^project(veltrix VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)}
arch=$(dpkg --print-architecture)
build=${BUILD_DIR:-build-release}
site=$(sed -n 's/^set(VELTRIX_SITE_HOST "\([^"]*\)".*/\1/p' CMakeLists.txt)

export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cxxflags="$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
ldflags=$(dpkg-buildflags --get LDFLAGS)
# shellcheck disable=SC2086
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS="$cxxflags" \
      -DCMAKE_EXE_LINKER_FLAGS="$ldflags" ${VELTRIX_PACKAGE_CMAKE:--DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF} \
      >/dev/null
cmake --build "$build"

work=$build/package
stage=$work/veltrix
rm -rf "$work"
mkdir -p "$stage/DEBIAN"
cmake --install "$build" --prefix "$stage/opt/veltrix" >/dev/null
for program in veltrix Sentrel.exe veltrix-reg veltrixd; do
    strip --strip-unneeded --remove-section=.comment --remove-section=.note "$stage/opt/veltrix/$program"
done
# The log lives in /var/log/veltrix, written by the system service alone (see postinst).
ln -s /var/log/veltrix/Block.log "$stage/opt/veltrix/Block.log"

install -D -m 0755 /dev/stdin "$stage/usr/bin/veltrix" < <(sed "s/@VERSION@/$version/g" tools/package/veltrix.in)
ln -s /opt/veltrix/veltrix-reg "$stage/usr/bin/veltrix-reg"
install -D -m 0644 tools/package/veltrixd.service "$stage/lib/systemd/system/veltrixd.service"
install -D -m 0644 tools/package/veltrix.desktop "$stage/usr/share/applications/veltrix.desktop"
install -D -m 0644 tools/package/veltrix.svg "$stage/usr/share/icons/hicolor/scalable/apps/veltrix.svg"
for size in 16 22 24 32 48 64 128 256; do
    dir=$stage/usr/share/icons/hicolor/${size}x${size}/apps
    mkdir -p "$dir"
    rsvg-convert -w "$size" -h "$size" tools/package/veltrix.svg -o "$dir/veltrix.png"
done
bash tools/install-autostart.sh /opt/veltrix "$stage/etc/xdg/autostart" >/dev/null
for page in veltrix veltrix-reg; do
    install -d "$stage/usr/share/man/man1"
    sed "s/@VERSION@/$version/g" "tools/package/$page.1" | gzip -9n > "$stage/usr/share/man/man1/$page.1.gz"
done
doc=$stage/usr/share/doc/veltrix
install -D -m 0644 tools/package/copyright "$doc/copyright"
date=$(date -R -u -d "@$(git log -1 --format=%ct 2>/dev/null || date +%s)")
sed -e "s/@VERSION@/$version/g" -e "s/@DATE@/$date/" tools/package/changelog | gzip -9n > "$doc/changelog.gz"
install -D -m 0644 tools/package/lintian-overrides "$stage/usr/share/lintian/overrides/veltrix"

# Runtime dependencies: the libraries the programs link, and what they load by name (the Qt
# platform plugin that draws on X11 or Wayland; adduser for the group).
mkdir -p "$work/debian"
printf 'Source: veltrix\n\nPackage: veltrix\nArchitecture: any\n' > "$work/debian/control"
shlibs=$(cd "$work" && dpkg-shlibdeps -O -eveltrix/opt/veltrix/veltrix -eveltrix/opt/veltrix/Sentrel.exe \
             -eveltrix/opt/veltrix/veltrix-reg -eveltrix/opt/veltrix/veltrixd 2>/dev/null | sed -n 's/^shlibs:Depends=//p')
depends="$shlibs, qt6-qpa-plugins, adduser"

find "$stage" -type d -exec chmod 0755 {} +
for script in postinst prerm postrm; do install -m 0755 "tools/package/$script" "$stage/DEBIAN/$script"; done
echo /etc/xdg/autostart/veltrix-guard.desktop > "$stage/DEBIAN/conffiles"
(cd "$stage" && find . -path ./DEBIAN -prune -o -type f -print0 | sort -z | xargs -0 md5sum | sed 's| \./| |') \
    > "$stage/DEBIAN/md5sums"
size=$(du -sk --exclude=DEBIAN "$stage" | cut -f1)
sed -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@SIZE@/$size/" -e "s/@DEPENDS@/$depends/" \
    -e "s/@SITE@/$site/" tools/package/control.in > "$stage/DEBIAN/control"

mkdir -p dist
deb=dist/veltrix_${version}_${arch}.deb
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
echo "$src/$deb"
