#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs a build tree under /usr into a temporary DESTDIR and checks the
# result: exactly the files of installed_files.txt, each passing its
# validator, and the installed program answering --version and --help
# without a display.
#
#   check_install.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr >"$stage.log" 2>&1 || { cat "$stage.log" >&2; rm -f "$stage.log"; fail "cmake --install"; }
rm -f "$stage.log"

diff -u "$here/installed_files.txt" <(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | LC_ALL=C sort) \
  || fail "the installed files differ from installed_files.txt"

share=$stage/usr/share
desktop-file-validate "$share/applications/velomorph.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net --pedantic "$share/metainfo/velomorph.metainfo.xml" || fail "appstreamcli validate"
grep -q '<screenshot type="default">' "$share/metainfo/velomorph.metainfo.xml" || fail "no screenshot in the AppStream record"

man_warnings=$(groff -man -ww -z "$share/man/man1/velomorph.1" 2>&1)
[ -z "$man_warnings" ] || fail "groff: $man_warnings"
lexgrog "$share/man/man1/velomorph.1" >/dev/null || fail "lexgrog finds no NAME section"

for size in 16 32 48 64 128 256; do
  file -b "$share/icons/hicolor/${size}x${size}/apps/velomorph.png" | grep -q "^PNG image data, $size x $size," \
    || fail "the ${size}x${size} icon is not a $size x $size PNG"
done
file -b "$share/icons/hicolor/scalable/apps/velomorph.svg" | grep -q "SVG" || fail "the scalable icon is not SVG"

cmp -s "$share/doc/velomorph/LICENSE" "$here/../../LICENSE" || fail "LICENSE"
cmp -s "$share/doc/velomorph/a_lire.txt" "$here/../../docs/a_lire.txt" || fail "a_lire.txt"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velomorph" --version) || fail "velomorph --version"
[ "$version" = "velomorph 1.0.0.0" ] || fail "velomorph --version printed: $version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velomorph" --help | grep -q -- "--client-name" \
  || fail "velomorph --help"
echo "installed files and validators: OK"
