#!/usr/bin/env bash
# screenshots.sh [folder] [name filter]: builds and renders every window state
# to PNG files (offscreen platform) and prints the folder.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-$top/build/screenshots}
bash "$top/scripts/build.sh" build >/dev/null
cmake --build "$top/build" --target pelkor_screens >/dev/null
QT_QPA_PLATFORM=offscreen "$top/build/bin/pelkor_screens" "$out" "${2:-}" >/dev/null
echo "$out"
