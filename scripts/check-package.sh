#!/usr/bin/env bash
# check-package.sh [build dir]: installs the .deb that package.sh made and
# runs the installed pelkor --version. With PELKOR_DEB_INSTALL=1 (a throwaway
# CI machine, as root) it is installed for real with dpkg -i and removed
# again; otherwise it is unpacked into a fresh root, and as root dpkg checks
# that it would install here (--dry-run), leaving this machine as it was.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
cd "$top"
deb=$(ls -t "$dir"/pelkor_*_amd64.deb | head -1)
if [[ ${PELKOR_DEB_INSTALL:-0} == 1 && $(id -u) -eq 0 ]]; then
  dpkg -i "$deb" >/dev/null
  version=$(pelkor --version)
  dpkg -r pelkor >/dev/null
else
  root=$(mktemp -d)
  trap 'rm -rf "$root"' EXIT
  dpkg-deb -x "$deb" "$root"
  version=$("$root/usr/bin/pelkor" --version)
  if [[ $(id -u) -eq 0 ]]; then dpkg --dry-run -i "$deb" >/dev/null; fi
fi
[[ $version == "pelkor "[0-9]* ]] || { echo "check-package: installed pelkor --version gave \"$version\"" >&2; exit 1; }
echo "check-package: $(basename "$deb") installs; $version"
