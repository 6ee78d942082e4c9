#!/usr/bin/env bash
# package.sh [build dir]: builds the programs (in build/ unless told) for the
# /usr prefix and makes the three packages there with cpack: libpelsbus1,
# libpelsbus-dev and pelkor. Their dependencies come from the linked shared
# libraries (dpkg-shlibdeps). Checks that the symbols file lists the
# library's exports, validates the AppStream metainfo, checks the hardening
# of the programs and the library, and runs lintian, failing on any error or
# warning.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}
cd "$top"
# File dates in the packages: the last commit's, so a rebuild gives the same files.
if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$top" log -1 --format=%ct 2>/dev/null || date +%s)
fi
export SOURCE_DATE_EPOCH
bash scripts/build.sh "$dir" -DCMAKE_INSTALL_PREFIX=/usr
rm -f "$dir"/*.deb
(cd "$dir" && cpack -G DEB >/dev/null)
mapfile -t debs < <(ls "$dir"/{libpelsbus1,libpelsbus-dev,pelkor}_*.deb)
((${#debs[@]} == 3)) || { echo "package: expected three packages, got: ${debs[*]}" >&2; exit 1; }
for deb in "${debs[@]}"; do
  echo "package: $deb"
  dpkg-deb --field "$deb" Package Version Depends
done

# Every export in the symbols file, and nothing else.
lib=$(ls "$dir"/bin/libPelsbus.so.*.*.*)
diff <(nm -D --defined-only "$lib" | awk '$2 ~ /[TDBRVW]/ {print $3}' | sort) \
     <(awk 'NR > 1 && $1 != "*" {sub(/@.*/, "", $1); print $1}' data/deb/symbols | sort) \
  || { echo "package: data/deb/symbols does not list the library's exports (< library, > file)" >&2; exit 1; }

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net data/org.pelkor.Pelkor.metainfo.xml >/dev/null \
    || { echo "package: AppStream metainfo does not validate" >&2; exit 1; }
fi
bash scripts/check-hardening.sh "$dir/bin/pelkor" "$dir/bin/pcdsim" "$dir/bin/pkdde" "$lib"

if command -v lintian >/dev/null; then
  report=$(lintian --fail-on error,warning --display-info --tag-display-limit 0 "${debs[@]}") \
    || { echo "$report"; echo "package: lintian errors or warnings" >&2; exit 1; }
  echo "$report"
  if grep -q ' hardening-' <<<"$report"; then echo "package: lintian finds unhardened files" >&2; exit 1; fi
fi
