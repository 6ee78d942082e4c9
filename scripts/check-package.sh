#!/usr/bin/env bash
# check-package.sh [build dir]: installs the three packages that package.sh
# made and runs the installed pelkor --version. With PELKOR_DEB_INSTALL=1 (a
# throwaway CI machine, as root) they are installed for real with dpkg -i,
# then removed, leaving no "rc" state; otherwise they are unpacked into a
# fresh root (pelkor must run without libpelsbus-dev), and as root dpkg
# checks that they would install here (--dry-run), leaving this machine as it was.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
cd "$top"
lib=$(ls -t "$dir"/libpelsbus1_*.deb | head -1)
dev=$(ls -t "$dir"/libpelsbus-dev_*.deb | head -1)
app=$(ls -t "$dir"/pelkor_*.deb | head -1)
if [[ ${PELKOR_DEB_INSTALL:-0} == 1 && $(id -u) -eq 0 ]]; then
  dpkg -i "$lib" "$app" >/dev/null
  version=$(pelkor --version)
  dpkg -i "$dev" >/dev/null
  pkg-config --exists pelsbus || { echo "check-package: no pelsbus.pc" >&2; exit 1; }
  apt-get remove -y -qq pelkor libpelsbus-dev libpelsbus1 >/dev/null
  left=$(dpkg -l pelkor libpelsbus1 libpelsbus-dev 2>/dev/null | awk '/^rc/ {print $2}')
  [[ -z $left ]] || { echo "check-package: removed packages left state: $left" >&2; exit 1; }
else
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$lib" "$root"
  dpkg-deb -x "$app" "$root"
  # The program finds the library by its SONAME under its own prefix.
  version=$("$root/usr/bin/pelkor" --version)
  if [[ $(id -u) -eq 0 ]]; then dpkg --dry-run -i "$lib" "$dev" "$app" >/dev/null; fi
fi
[[ $version == "pelkor "[0-9]* ]] || { echo "check-package: installed pelkor --version gave \"$version\"" >&2; exit 1; }
echo "check-package: $(basename "$lib") $(basename "$dev") $(basename "$app") install; $version"
