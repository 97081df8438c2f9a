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

# The English page and its French translation, each compressed and read
# without a warning.
for page in man/man1 man/fr/man1; do
  gzip -t "$share/$page/velomorph.1.gz" || fail "$page/velomorph.1.gz is not gzip"
  man_warnings=$(zcat "$share/$page/velomorph.1.gz" | groff -man -ww -z 2>&1)
  [ -z "$man_warnings" ] || fail "groff, $page: $man_warnings"
  lexgrog "$share/$page/velomorph.1.gz" >/dev/null || fail "lexgrog finds no NAME section in $page"
  zgrep -q 'Velomorph/Velomorph\.conf' "$share/$page/velomorph.1.gz" || fail "$page does not name the settings file"
done

for size in 16 32 48 64 128 256; do
  file -b "$share/icons/hicolor/${size}x${size}/apps/velomorph.png" | grep -q "^PNG image data, $size x $size," \
    || fail "the ${size}x${size} icon is not a $size x $size PNG"
done
file -b "$share/icons/hicolor/scalable/apps/velomorph.svg" | grep -q "SVG" || fail "the scalable icon is not SVG"

cmp -s "$share/doc/velomorph/LICENSE" "$here/../../LICENSE" || fail "LICENSE"
head -n 1 "$share/doc/velomorph/copyright" | grep -q '^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/$' \
  || fail "copyright is not in the machine-readable format"
zcat "$share/doc/velomorph/changelog.gz" | head -n 1 | grep -q "^velomorph (1.0.0.0) " || fail "changelog.gz"
grep -q '^ExecStart=pw-jack velomorph --headless ' "$stage/usr/lib/systemd/user/velomorph-headless.service" \
  || fail "the systemd unit does not take velomorph from the search path"
cmp -s "$share/doc/velomorph/a_lire.txt" "$here/../../docs/a_lire.txt" || fail "a_lire.txt"

version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velomorph" --version) || fail "velomorph --version"
[ "$version" = "velomorph 1.0.0.0" ] || fail "velomorph --version printed: $version"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$stage/usr/bin/velomorph" --help | grep -q -- "--client-name" \
  || fail "velomorph --help"
echo "installed files and validators: OK"
