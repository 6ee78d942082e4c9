#!/usr/bin/env bash
# Installs from Debian's archive whatever the build (and, with --tests, the
# tests; with --bench, the benchmarks) needs and is missing.  Safe to run again: it asks apt only when a
# package is absent.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config
            qt6-base-dev                       # the windows (Qt 6 Widgets)
            libmosquitto-dev                   # the MQTT publisher (libmosquitto client)
            librsvg2-bin                       # rsvg-convert: the PNG icons, rendered from the SVG
            qt6-charts-dev libqt6opengl6-dev)  # the trend window's chart (Charts' CMake package needs Qt6OpenGL)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev
           clang-format                       # the sources stay as .clang-format has them
           clang libclang-rt-14-dev          # fuzz targets (libFuzzer)
           python3 python3-xlrd               # independent .xls reader
           libreoffice-calc-nogui             # second independent .xls reader
           locales                            # locale sources: date texts tested in a second locale
           dpkg-dev file lintian              # the .deb: dpkg-shlibdeps, cpack's library scan, its check
           desktop-file-utils shared-mime-info systemd  # desktop entries (installed one, shortcuts), file type, user unit
           mosquitto mosquitto-clients        # a real broker for the MQTT tests and benchmarks
           appstream                          # appstreamcli: the AppStream metainfo is valid
           xvfb python3-pyatspi at-spi2-core dbus-x11 xdotool)  # the GUI robot: the real windows through AT-SPI
bench_pkgs=(python3-xlwt)                     # bench_xls writes its large workbooks with it

# Only for scripts/windows-dll.sh: Pelsbus.dll cross-built, its tests under Wine.
windows_pkgs=(mingw-w64 g++-mingw-w64      # Pelsbus.dll and its test programs (x86-64 and i686)
              wine64)                       # runs the Windows tests on this machine

want=("${build_pkgs[@]}")
for arg in "$@"; do
  case $arg in
    --tests) want+=("${test_pkgs[@]}") ;;
    --bench) want+=("${bench_pkgs[@]}") ;;
    --windows) want+=("${windows_pkgs[@]}") ;;
  esac
done

missing=()
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "deps: installing ${missing[*]}"
  SUDO=""; [[ $(id -u) -ne 0 ]] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
