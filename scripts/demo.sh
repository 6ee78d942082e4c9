#!/usr/bin/env bash
# Builds everything and runs the demo job against the PCD simulator.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/deps.sh
bash scripts/build.sh build -DPELKOR_TESTS=OFF -DPELKOR_BENCH=OFF
exec bash examples/run-demo.sh "$top/build/bin"
