#!/usr/bin/env bash
# Checks the packages in out/packages/ (made by scripts/package.sh) without
# installing them: each is unpacked into a scratch root, where the programs
# answer --version and --help with the system's libraries alone, every manual
# page formats without a warning, and the desktop entry and metainfo validate.
set -euo pipefail
cd "$(dirname "$0")/.."

root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
expected="lorventa lorventa-bridge lorventa-tools"
found=""
for deb in out/packages/*.deb; do
  found="$found $(dpkg-deb -f "$deb" Package)"
  dpkg-deb -f "$deb" Depends | grep -q . || { echo "$deb has no Depends" >&2; exit 1; }
  dpkg -x "$deb" "$root"
done
if [ "$(echo $found | tr ' ' '\n' | sort | xargs)" != "$expected" ]; then
  echo "packages: expected '$expected', found '$found'" >&2
  exit 1
fi

unset LD_LIBRARY_PATH
bin="$root/usr/bin"
# expect PATTERN PROGRAM ARGS...: the program's output has a line matching PATTERN.
expect() {
  local pattern="$1" out
  shift
  out="$("$bin/$@")" && grep -qiE "$pattern" <<<"$out" ||
    { echo "check-packages: '$*' does not answer '$pattern': $out" >&2; exit 1; }
}
expect "^lorventa [0-9.]+$" lorventa --version
expect "^usage: lorventa-bridge" lorventa-bridge --help
expect "^lorventa-bridge [0-9.]+$" lorventa-bridge --version
expect "^usage: lorventa-probe" lorventa-probe --help
expect "^lorventa-dvrsim [0-9.]+$" lorventa-dvrsim --version

for page in "$root"/usr/share/man/man1/*.1.gz; do
  warnings="$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)"
  [ -z "$warnings" ] || { echo "$page: $warnings" >&2; exit 1; }
done
for p in lorventa lorventa-bridge lorventa-probe lorventa-dvrsim; do
  [ -f "$root/usr/share/man/man1/$p.1.gz" ] || { echo "no manual page for $p" >&2; exit 1; }
done
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml
[ -z "$(desktop-file-validate "$root"/usr/share/applications/lorventa.desktop)" ]
echo "check-packages: $found: ok"
