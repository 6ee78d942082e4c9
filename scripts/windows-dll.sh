#!/usr/bin/env bash
# Pelsbus.dll from the same source: builds it with Debian's mingw-w64
# (x86-64 with its tests, and the 32-bit DLL for its __stdcall exports),
# checks both export tables, then runs the library tests and the example
# host under Wine against pcdsim over UDP on loopback.
#   bash scripts/windows-dll.sh [build folder, default build-win64]
# Skips with one line (status 0) when mingw-w64 or wine64 cannot be
# installed or Wine cannot start here; any build or test failure fails.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
out=${1:-build-win64}
skip() { echo "== windows-dll: SKIPPED: $* =="; exit 0; }

bash scripts/deps.sh --windows || skip "mingw-w64 and wine64 could not be installed"
wine=$(command -v wine64 || true)
[[ -z "$wine" && -x /usr/lib/wine/wine64 ]] && wine=/usr/lib/wine/wine64
[[ -n "$wine" ]] || skip "no wine64 program"

work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [[ -n "$sim_pid" ]]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  if command -v wineserver >/dev/null; then wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; fi
  rm -rf "$work" 2>/dev/null || true
}
trap cleanup EXIT
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if ! timeout 180 "$wine" wineboot -i >"$work/wineboot.log" 2>&1; then
  skip "Wine cannot start here ($(tail -1 "$work/wineboot.log"))"
fi

echo "== windows-dll: build (x86_64, i686) =="
exports=$(grep -o 'PELSBUS_CALL [A-Za-z0-9]*(' sbus/Pelsbus.h | sed 's/PELSBUS_CALL //; s/(//' | sort)
check_exports() {  # the DLL exports exactly the header's names, undecorated
  local got
  got=$("$1-objdump" -p "$2" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | awk '/\[/ && NR>1 {print $NF}' | sort)
  if [[ "$got" != "$exports" ]]; then
    echo "export table of $2 differs from sbus/Pelsbus.h:"; diff <(echo "$exports") <(echo "$got") || true; exit 1
  fi
  echo "$2: $(echo "$got" | wc -l) exports, undecorated"
}
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
  -DPELKOR_QT=OFF -DPELKOR_BENCH=OFF >/dev/null
nice ninja -C "$out"
cmake -S . -B "$out-i686" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DPELKOR_MINGW_ARCH=i686 \
  -DCMAKE_BUILD_TYPE=Release -DPELKOR_QT=OFF -DPELKOR_BENCH=OFF -DPELKOR_TESTS=OFF >/dev/null
nice ninja -C "$out-i686" Pelsbus
check_exports x86_64-w64-mingw32 "$out/bin/Pelsbus.dll"
check_exports i686-w64-mingw32 "$out-i686/bin/Pelsbus.dll"
x86_64-w64-mingw32-gcc-posix -O2 -Wall -Wextra -Werror -o "$out/bin/pelsbus-host.exe" examples/windows/pelsbus-host.c
# A host that links the import library with Pelsbus.h imports the plain names too.
printf '#include "sbus/Pelsbus.h"\nint main(void) { return PCDGetVersion() == 200 ? 0 : 1; }\n' >"$work/link.c"
for arch in x86_64 i686; do
  tree=$out; [[ $arch == i686 ]] && tree=$out-i686
  "$arch-w64-mingw32-gcc-posix" -I. "$work/link.c" -L"$tree/lib" -lPelsbus -o "$work/link-$arch.exe"
  "$arch-w64-mingw32-objdump" -p "$work/link-$arch.exe" | grep -A3 'DLL Name: Pelsbus.dll' | grep -qw PCDGetVersion ||
    { echo "$arch: the import library does not import PCDGetVersion by its plain name"; exit 1; }
done
cp "$work/link-x86_64.exe" "$out/bin/pelsbus-link.exe"

# The simulator is the host's own program; build just it when no tree has it.
host=build
if [[ ! -x "$host/bin/pcdsim" ]]; then
  [[ -f "$host/build.ninja" ]] || { host=build-win-host; [[ -f "$host/build.ninja" ]] ||
    cmake -S . -B "$host" -G Ninja -DPELKOR_QT=OFF -DPELKOR_TESTS=OFF -DPELKOR_BENCH=OFF >/dev/null; }
  nice ninja -C "$host" pcdsim
fi
"$host/bin/pcdsim" --config tests/sbus/wine-sim.cfg --udp 127.0.0.1:0 --seconds 600 >"$work/sim.out" &
sim_pid=$!
for _ in $(seq 50); do [[ -s "$work/sim.out" ]] && break; sleep 0.1; done
udp=$(head -1 "$work/sim.out")
[[ "$udp" == udp:* ]] || { echo "pcdsim did not start"; exit 1; }

echo "== windows-dll: tests under Wine ($udp) =="
PELSBUS_TEST_UDP="$udp" ctest --test-dir "$out" --output-on-failure --timeout 300
"$wine" "$out/bin/pelsbus-link.exe"
"$wine" "$out/bin/pelsbus-host.exe" "$udp" | tee "$work/host.out"
grep -qx "R 0 = 42" <(tr -d '\r' <"$work/host.out")
echo "== windows-dll: passed =="
