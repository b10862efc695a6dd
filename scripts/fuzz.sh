#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each one.
#   --brief       a short run of each (CI)
#   --runs N      N executions of each
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-max_total_time=20)
case "${1:-}" in
  --brief) mode=(-max_total_time=20) ;;
  --runs) mode=(-runs="$2") ;;
esac
if [ ! -f fuzz/CMakeLists.txt ]; then echo "no fuzz targets"; exit 0; fi
bash scripts/install-deps.sh
export NB_BUILD_DIR=build-fuzz NB_BUILD_TYPE=RelWithDebInfo
CC=clang CXX=clang++ bash scripts/build.sh -DNB_FUZZ=ON -DNB_BUILD_TESTS=OFF -DNB_BUILD_BENCH=OFF -DNB_BUILD_GUI=OFF
status=0
for target in build-fuzz/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target")
  corpus="build-fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "== $name"
  if ! "$target" "${mode[@]}" -print_final_stats=1 "$corpus" "${seeds[@]}" 2>"build-fuzz/$name.log"; then
    status=1
    tail -n 40 "build-fuzz/$name.log"
  fi
  grep -E 'stat::number_of_executed_units' "build-fuzz/$name.log" || true
done
exit $status
