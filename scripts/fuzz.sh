#!/usr/bin/env bash
# Builds every libFuzzer target (fuzz_*) with clang in build-fuzz and runs
# each for FUZZ_SECONDS (default 15). Fails when a target finds a crash.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
secs=${FUZZ_SECONDS:-15}
dir=build-fuzz

cmake -S . -B "$dir" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DPELKOR_FUZZ=ON -DPELKOR_BENCH=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
mapfile -t targets < <(ninja -C "$dir" -t targets all | sed -n 's/^\(fuzz_[A-Za-z0-9_]*\): .*/\1/p' | sort -u)
if ((${#targets[@]} == 0)); then echo "fuzz: no targets"; exit 0; fi
cmake --build "$dir" --target "${targets[@]}"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
for t in "${targets[@]}"; do
  corpus="$work/$t"
  mkdir -p "$corpus"
  if [[ -d "tests/fuzz/corpus/$t" ]]; then cp -r "tests/fuzz/corpus/$t/." "$corpus/"; fi
  echo "== $t (${secs}s) =="
  # libFuzzer exits non-zero on a crash, a leak or a time-out of one input.
  (cd "$work" && timeout $((secs + 60)) "$top/$dir/bin/$t" -max_total_time="$secs" -timeout=10 \
      -rss_limit_mb=2048 -print_final_stats=1 "$corpus") || { echo "fuzz: $t failed"; exit 1; }
done
echo "fuzz: all targets ran without a crash"
