# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by ./run and ./test: installs the Debian packages the project needs.
# Idempotent and quiet when everything is present; as a non-root user it only
# prints the apt-get line to run.

VELOMORPH_PACKAGES=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev librtmidi-dev libjack-jackd2-dev libasound2-dev
  liblo-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  jackd2 clang libclang-rt-14-dev fonts-dejavu-core
  xvfb libxcb1-dev
  qt6-translations-l10n
  # the icons' drawing, the install checks and the .deb
  python3 desktop-file-utils appstream man-db dpkg-dev file lintian
  # tests that drive the real window under Xvfb, the README's screenshot
  libxcb-xtest0-dev x11-apps x11-utils xclip
  # the screenshot's keyboard that plays a spread of velocities
  python3-jack-client
  # the end-to-end test on PipeWire's JACK server
  pipewire pipewire-bin pipewire-jack
)

ensure_packages() {
  local missing=() p
  for p in "${VELOMORPH_PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run as root:" >&2
    echo "  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
