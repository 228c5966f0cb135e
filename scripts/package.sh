#!/usr/bin/env bash
# Builds the Debian package vendrix_<version>_<arch>.deb into the project folder (a Release build
# with Debian's hardening flags in ./build-pkg, dependencies from dpkg-shlibdeps), then checks it
# with lintian, which fails the script on any error. Install it with: apt install ./vendrix_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh lintian
# Every hardening feature, immediate binding included.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
export LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
# cmake takes the flags above from the environment; configure.sh configures afresh when they
# changed.
./scripts/configure.sh build-pkg -G Ninja -DCMAKE_BUILD_TYPE=Release -DVENDRIX_BUILD_TESTS=OFF \
    -DVENDRIX_BUILD_BENCH=OFF
cmake --build build-pkg
rm -f build-pkg/vendrix_*.deb
(cd build-pkg && cpack -G DEB)
deb="$(ls build-pkg/vendrix_*.deb)"
cp "$deb" .
deb="$(basename "$deb")"
echo "Package: $deb"
dpkg-deb --field "$deb"
# lintian warns that it runs as root, and that is no fault of the package.
status=0
report="$(lintian --fail-on error --info "$deb" 2>&1)" || status=$?
grep -v 'running with root privileges' <<<"$report" || true
if [ "$status" -ne 0 ]; then
    echo "lintian found errors in $deb" >&2
    exit "$status"
fi
echo "lintian: no errors in $deb"
