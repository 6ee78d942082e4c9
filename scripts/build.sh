#!/usr/bin/env bash
# build.sh <build-dir> [cmake options...]: configure (Ninja) and build.
# Uses ccache when it is installed (it is not needed: CI builds without it).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-build}; shift || true
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$top")}
fi
cmake -S "$top" -B "$top/$dir" -G Ninja "${launcher[@]}" "$@" >/dev/null
cmake --build "$top/$dir" -j "$(nproc)"
