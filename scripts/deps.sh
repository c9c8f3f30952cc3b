#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need,
# and only when one of them is missing.
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  # Metric-compatible stand-ins for Tahoma (Wine's) and Arial (Liberation Sans),
  # and CJK glyphs for the Chinese and Japanese language files.
  fonts-wine fonts-liberation fonts-noto-cjk
  # Screenshots under a real X server; the SVG sources of the pictures.
  xvfb xauth librsvg2-bin
  # The wake-up under a real Wayland compositor, and X11's side of it
  # (xprop and xwininfo read the window's user time).
  weston qt6-wayland libxcb1-dev x11-utils
  # bench/compare-startup.sh: the map watcher's Xlib; scripts/soak.sh's checker.
  libx11-dev python3
  # The desktop files are validated by the tests.
  desktop-file-utils appstream
  # The package test checks the .deb with lintian.
  lintian
  # Private system and session buses for the D-Bus tests, with python3-dbusmock's
  # mocks of logind and of the notification server on them (run by Debian's
  # /usr/bin/python3; python3-dbus and python3-gi come as its dependencies).
  dbus python3-dbusmock
  # The accessibility tests: the AT-SPI bus and registry, pyatspi to read the
  # tree as a screen reader does, xdotool to type, ImageMagick's import to
  # take the screen.
  at-spi2-core python3-pyatspi xdotool imagemagick
  # lumidorctl's completion, tried in a real bash.
  bash-completion
  # A real screen reader in the accessibility tests: Orca, speaking through
  # speech-dispatcher's dummy output module (in the speech-dispatcher
  # package), whose sound the tests send to libao's null device.
  orca speech-dispatcher speech-dispatcher-audio-plugins
  # The fuzz targets: clang with libFuzzer and the sanitizer runtimes.
  clang libclang-rt-14-dev libfuzzer-14-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
