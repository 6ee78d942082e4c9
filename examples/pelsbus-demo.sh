#!/usr/bin/env bash
# pelsbus-demo.sh <bin-dir>: starts pcdsim on a pseudo-terminal with the demo
# memory, points Pelsbus port 1 at it, runs the demo host, stops the simulator.
set -euo pipefail
bin=${1:?usage: pelsbus-demo.sh <bin-dir>}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
link="$work/pcd-port"
"$bin/pcdsim" --config "$here/demo-memory.cfg" --link "$link" --seconds 60 >"$work/pcdsim.out" &
sim=$!
trap 'kill "$sim" 2>/dev/null || true; wait "$sim" 2>/dev/null || true; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -L "$link" ] && break; sleep 0.1; done
[ -L "$link" ] || { echo "run-demo: pcdsim did not start" >&2; exit 1; }
echo "PCD simulator on $(head -n1 "$work/pcdsim.out")"
PELSBUS_COM1="$link" "$bin/pelsbus-demo" 0 3
