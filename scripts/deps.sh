#!/usr/bin/env bash
# Installs from Debian's archive whatever the build (and, with --tests, the
# tests) needs and is missing.  Safe to run again: it asks apt only when a
# package is absent.
set -euo pipefail

build_pkgs=(cmake ninja-build g++ pkg-config
            qt6-base-dev                       # the windows (Qt 6 Widgets)
            libmosquitto-dev)                  # the MQTT publisher (libmosquitto client)
test_pkgs=(libgtest-dev libgmock-dev libbenchmark-dev
           clang libclang-rt-14-dev          # fuzz targets (libFuzzer)
           python3 python3-xlrd               # independent .xls reader
           libreoffice-calc-nogui             # second independent .xls reader
           locales                            # locale sources: date texts tested in a second locale
           dpkg-dev file lintian              # the .deb: dpkg-shlibdeps, cpack's library scan, its check
           mosquitto mosquitto-clients        # a real broker for the MQTT tests and benchmarks
           desktop-file-utils shared-mime-info systemd)  # desktop entries (installed one, shortcuts), file type, user unit

want=("${build_pkgs[@]}")
if [[ "${1:-}" == "--tests" ]]; then want+=("${test_pkgs[@]}"); fi

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
