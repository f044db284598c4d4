#!/usr/bin/env bash
# Builds the Debian packages lorventa, lorventa-bridge and lorventa-tools into
# out/packages/ (a Release build in build-package/ with Debian's hardening
# flags, no tests, no benchmarks) and checks each with lintian.
# Install with: sudo apt install ./out/packages/lorventa_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

dir=build-package
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Debian's build flags with every hardening feature; the optimisation is the
# Release build's and debug info is not wanted (the files are stripped).
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
export DEB_CFLAGS_MAINT_STRIP="-g -O2" DEB_CXXFLAGS_MAINT_STRIP="-g -O2"
CFLAGS="$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)"
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)"
export CFLAGS CXXFLAGS LDFLAGS
cmake -S . -B "$dir" "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_INSTALL_PREFIX=/usr -DCMAKE_INSTALL_SYSCONFDIR=/etc \
  -DLORVENTA_BUILD_TESTS=OFF -DLORVENTA_BUILD_BENCH=OFF -DLORVENTA_MAN_PAGES=ON >/dev/null
cmake --build "$dir" -j2

rm -rf "$dir/cpack" out/packages
(cd "$dir" && cpack -G DEB)
mkdir -p out/packages
cp "$dir"/cpack/*.deb out/packages/
ls -l out/packages

# lintian: errors fail the build, warnings are shown.
status=0
for deb in out/packages/*.deb; do
  lintian --fail-on error --info --suppress-tags-from-file packaging/lintian-overrides "$deb" || status=1
done
exit $status
