#!/usr/bin/env bash
# run-demo.sh <bin folder>: the demos behind the README's first command.
# Each part is a script of its own, so hosts can be added without touching
# the others; the Pelkor part runs its job against the PCD simulator.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=${1:?usage: run-demo.sh <bin folder>}

echo "==== Pelkor: a logging job against two simulated PCD stations ===="
bash "$here/pelkor-demo.sh" "$bin" "${PELKOR_DEMO_SECONDS:-16}"

echo
echo "==== Pelsbus: a host binding libPelsbus.so by name ===="
bash "$here/pelsbus-demo.sh" "$bin"
