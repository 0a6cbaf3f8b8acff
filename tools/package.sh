#!/usr/bin/env bash
# Builds the Debian package with Debian's own tools (debian/: debhelper, the cmake build system,
# dh_installsystemd): dist/veltrix_<version>_<arch>.deb. The build tree is kept between runs (the
# test command shares it), so only the package's staging is made afresh.
#   VELTRIX_PACKAGE_CMAKE     extra CMake arguments (the test command builds with warnings as
#                             errors: -DVELTRIX_WERROR=ON -DVELTRIX_TESTS=OFF ...)
#   BUILD_DIR                 the build tree (default build-release)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh
dpkg-checkbuilddeps
project=$(sed -n 's/^project(veltrix VERSION \([^ )]*\).*/\1/p' CMakeLists.txt)
version=$(dpkg-parsechangelog -S Version)
[ "$version" = "$project" ] || { echo "debian/changelog says $version, CMakeLists.txt $project" >&2; exit 1; }
arch=$(dpkg --print-architecture)
export BUILD_DIR=${BUILD_DIR:-build-release} DIST=$PWD/dist
export VELTRIX_PACKAGE_CMAKE=${VELTRIX_PACKAGE_CMAKE:--DVELTRIX_TESTS=OFF -DVELTRIX_BENCH=OFF}
mkdir -p dist
rm -f "dist/veltrix_${version}_${arch}.deb"
# debian/rules clean would remove the shared build tree: only debhelper's own traces go.
rm -rf debian/.debhelper debian/veltrix debian/debhelper-build-stamp debian/files debian/*.substvars
debian/rules build >/dev/null
debian/rules binary >/dev/null
echo "$PWD/dist/veltrix_${version}_${arch}.deb"
