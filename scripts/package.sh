#!/usr/bin/env bash
# Builds the Debian packages lorventa, lorventa-bridge and lorventa-tools into
# out/packages/ (a build in build-package/ without tests or benchmarks) and
# checks each with lintian.
# Install with: sudo apt install ./out/packages/lorventa_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

dir=build-package
gen=()
command -v ninja >/dev/null && gen=(-G Ninja)
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
fi
# Debian's hardening flags (fortified functions, stack protector, format
# checks, read-only relocations bound now), as a Debian package build sets
# them; the debug info is stripped from the packaged files.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
cppflags=$(dpkg-buildflags --get CPPFLAGS)
cmake -S . -B "$dir" "${gen[@]}" "${launcher[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS="$cppflags $(dpkg-buildflags --get CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$cppflags $(dpkg-buildflags --get CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" \
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
  lintian --fail-on error --display-info "$deb" || status=1
done
exit $status
