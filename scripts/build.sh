#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configure (Ninja) and build.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}; shift || true
cmake -S "$top" -B "$top/$dir" -G Ninja "$@" >/dev/null
cmake --build "$top/$dir" -j "$(nproc)"
