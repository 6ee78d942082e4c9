#!/usr/bin/env bash
# Builds everything and runs every test: the normal build, the .deb made
# from it and checked, then the core and Pelsbus tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer, a short run of each fuzz
# target, and Pelsbus.dll built with mingw-w64 and tested under Wine (skipped
# with a line saying why where mingw-w64 or Wine cannot be had).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/deps.sh --tests

echo "== format (.clang-format) =="
git ls-files 'app/*.cpp' 'app/*.h' 'sbus/*.cpp' 'sbus/*.h' 'sim/*.cpp' 'sim/*.h' \
             'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' | grep -v /corpus/ \
  | xargs clang-format --dry-run --Werror

echo "== build =="
bash scripts/build.sh build
echo "== tests =="
(cd build && ctest --output-on-failure -j "$(nproc)" --timeout 180)

echo "== package =="
bash scripts/package.sh build
bash scripts/check-package.sh build

echo "== sanitizer build (ASan + UBSan) =="
bash scripts/build.sh build-asan -DPELKOR_SANITIZE=ON -DPELKOR_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
echo "== sanitizer tests =="
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j "$(nproc)" --timeout 300 -L sanitize)

if [[ -x scripts/fuzz.sh ]]; then
  echo "== fuzz (short) =="
  FUZZ_SECONDS=${FUZZ_SECONDS:-15} bash scripts/fuzz.sh
fi
echo "== Pelsbus.dll (mingw-w64, tests under Wine) =="
bash scripts/windows-dll.sh build-win64
echo "== all tests passed =="
