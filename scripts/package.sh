#!/usr/bin/env bash
# package.sh [build dir]: builds the programs (in build/ unless told) and
# makes pelkor_<version>_amd64.deb there with cpack; its dependencies come
# from the linked shared libraries (dpkg-shlibdeps). Runs lintian on it when
# lintian is installed and fails on any lintian error.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
cd "$top"
bash scripts/build.sh "$dir"
(cd "$dir" && cpack -G DEB >/dev/null)
deb=$(ls -t "$dir"/pelkor_*_amd64.deb | head -1)
echo "package: $deb"
dpkg-deb --field "$deb" Package Version Depends
if command -v lintian >/dev/null; then
  # Errors fail; warnings are listed.
  lintian --fail-on error --tag-display-limit 0 "$deb" || { echo "package: lintian errors" >&2; exit 1; }
fi
