#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the Debian package of a build tree with `cpack -G DEB` and checks it
# against the install rules: its files are those of installed_files.txt, the
# program owned by root and executable, and its control fields name the
# package, its version, its architecture, its maintainer's address and the
# libraries it needs. Lintian then finds no error in it.
#
#   check_deb.sh BUILD_DIR
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$out" >"$out/cpack.log" 2>&1) || { cat "$out/cpack.log" >&2; fail "cpack -G DEB"; }
arch=$(dpkg --print-architecture)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$out/velomorph_${version}_${arch}.deb
[ -f "$deb" ] || fail "no $(basename "$deb") in: $(ls "$out")"

contents=$(dpkg-deb -c "$deb")
diff -u "$here/installed_files.txt" <(awk '$1 !~ /^d/ {print $6}' <<<"$contents" | sed 's|^\./||' | LC_ALL=C sort) \
  || fail "the package's files differ from installed_files.txt"
grep -Eq '^-rwxr-xr-x root/root .* \./usr/bin/velomorph$' <<<"$contents" || fail "usr/bin/velomorph: $(grep velomorph$ <<<"$contents")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = velomorph ] || fail "Package: $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version: $(field Version)"
[ "$(field Architecture)" = "$arch" ] || fail "Architecture: $(field Architecture)"
[ "$(field Section)" = sound ] || fail "Section: $(field Section)"
grep -Eq '^[^<>]+ <[^<>@ ]+@[^<>@ ]+>$' <<<"$(field Maintainer)" || fail "Maintainer without an address: $(field Maintainer)"
[ "$(field Recommends)" = xdg-utils ] || fail "Recommends: $(field Recommends)"
[ -n "$(field Description)" ] || fail "no Description"
depends=$(field Depends)
# Found by dpkg-shlibdeps in the executable, and the two loaded at run time.
for needed in libc6 libqt6core6 libqt6gui6 libqt6widgets6 librtmidi libjack libasound2 liblo7 \
  qt6-qpa-plugins qt6-translations-l10n; do
  grep -q "$needed" <<<"$depends" || fail "Depends lacks $needed: $depends"
done
dpkg-deb -I "$deb" >/dev/null || fail "dpkg-deb -I"
# Its warnings are printed, its errors fail the check.
lintian --fail-on error "$deb" || fail "lintian finds errors"
echo "$(basename "$deb"): files and control fields OK"
