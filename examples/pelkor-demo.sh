#!/usr/bin/env bash
# pelkor-demo.sh <bin folder> [seconds]: runs the demo job (demo-run.pelk)
# against two simulated stations, asks the DDE service for a value during
# the run, and shows the files written. Everything goes below
# $PELKOR_DEMO_DIR (default /tmp/pelkor-demo).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$(cd "${1:?usage: pelkor-demo.sh <bin folder> [seconds]}" && pwd)
seconds=${2:-16}
out=${PELKOR_DEMO_DIR:-/tmp/pelkor-demo}
case "$out" in /|"") echo "pelkor-demo: refusing to use '$out'" >&2; exit 2 ;; esac

rm -rf "$out"
mkdir -p "$out/output"
sed "s#/tmp/pelkor-demo#$out#g" "$here/demo-run.pelk" > "$out/demo-run.pelk"

# The simulator prints its pseudo-terminal on its first line.
"$bin/pcdsim" --config "$here/demo-sim.conf" --seconds $((seconds + 20)) > "$out/pcdsim.out" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
pty=
for _ in $(seq 1 50); do
    pty=$(head -n 1 "$out/pcdsim.out" 2>/dev/null || true)
    [ -n "$pty" ] && break
    sleep 0.1
done
if [ -z "$pty" ]; then echo "pelkor-demo: the simulator did not start" >&2; cat "$out/pcdsim.out" >&2; exit 1; fi
echo "== pcdsim answers on $pty (stations 1 and 2)"

export PELSBUS_COM1=$pty
export PELKOR_DDE_SOCKET=$out/PKDDE
echo "== pelkor --seconds $seconds $out/demo-run.pelk PG5=20"
"$bin/pelkor" --seconds "$seconds" --verbose "$out/demo-run.pelk" PG5=20 &
pelkor=$!

# Halfway through, a DDE client asks for two fields of the last reading
# (items follow the task shown as next).
sleep $((seconds / 2))
for item in 0 3; do
    echo "== pkdde request $item  ->  $("$bin/pkdde" --timeout 3 request $item || echo '(no value)')"
done

status=0
wait $pelkor || status=$?
echo "== pelkor ended with status $status"

echo "== files written in $out/output"
ls -l "$out/output"
for f in "$out"/output/*.csv; do
    echo "-- $(basename "$f") (first lines)"
    head -n 6 "$f" | tr -d '\r'
done
for f in "$out"/output/*.xls; do
    [ -e "$f" ] || continue
    if python3 -c 'import xlrd' 2>/dev/null; then
        echo "-- $(basename "$f") (as an independent reader sees it)"
        python3 - "$f" <<'PY'
import sys, xlrd
book = xlrd.open_workbook(sys.argv[1])
for sheet in book.sheets():
    print(f"sheet {sheet.name!r}: {sheet.nrows} rows")
    for r in range(min(sheet.nrows, 6)):
        print("  " + " | ".join(str(c.value) for c in sheet.row(r)))
PY
    else
        echo "-- $(basename "$f"): $(stat -c %s "$f") bytes"
    fi
done
echo "== event log $out/Pelkor.txt"
tr -d '\r' < "$out/Pelkor.txt"
exit $status
