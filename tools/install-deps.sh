#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the tests and the demo need, only when one is
# missing (so a second run costs a second, not a download). Run as root.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config ccache
  qt6-base-dev qt6-serialport-dev libgl-dev
  clang libclang-rt-14-dev            # fuzzers and the sanitizer build
  lld                                  # links the test programs faster than ld
  clang-format                         # the layout check (tools/check-format.sh)
  libbenchmark-dev                     # micro-benchmarks
  python3 python3-serial python3-xmodem lrzsz   # third-party XMODEM peers for the tests
  ser2net                              # a network serial server in front of the simulated processor
  dbus-daemon python3-dbusmock         # a mock login manager on a private bus (sleep inhibitor)
  xvfb xauth imagemagick xdotool       # screenshots of the real windows
  at-spi2-core python3-pyatspi         # the accessibility bus (whole-program runs read the windows through it)
  dpkg-dev fakeroot file lintian       # the Debian package: cpack (dpkg-shlibdeps), its checks
  desktop-file-utils appstream shared-mime-info binutils
  fonts-dejavu-core                    # the stock desktop face the window-fit test measures
  libsndfile1-dev libsoxr-dev          # audio files and sample-rate conversion (filterpath/)
  qt6-multimedia-dev                   # the Listen panel's audio output
  pulseaudio pulseaudio-utils          # a real sound server with a null sink for the playback test
)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
