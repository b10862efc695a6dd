#!/usr/bin/env bash
# Builds the libFuzzer targets (in the clang sanitizer build, build-asan/) and runs each one.
#   --brief           a short run of each (CI)
#   --runs N          N executions of each
#   --time S          S seconds of each
#   TARGET...         only these (e.g. fuzz_reply); default: every target
# A crash leaves its input in build-asan/fuzz-artifacts/ and fails the script.
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-max_total_time=10)
targets=()
while [ $# -gt 0 ]; do
  case "$1" in
    --brief) mode=(-max_total_time=10); shift ;;
    --runs) mode=(-runs="$2"); shift 2 ;;
    --time) mode=(-max_total_time="$2"); shift 2 ;;
    *) targets+=("$1"); shift ;;
  esac
done
bash scripts/install-deps.sh --sanitizers
build=build-asan
NB_PRESET=asan NB_TARGETS=fuzz_targets bash scripts/build.sh
if [ ${#targets[@]} -eq 0 ]; then
  for t in $build/fuzz/fuzz_*; do [ -x "$t" ] && targets+=("$(basename "$t")"); done
fi
mkdir -p $build/fuzz-artifacts
status=0
for name in "${targets[@]}"; do
  target="$build/fuzz/$name"
  [ -x "$target" ] || { echo "no fuzz target $name"; status=1; continue; }
  corpus="$build/fuzz-corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "== $name"
  if ! "$target" "${mode[@]}" -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$name-" \
      "$corpus" "${seeds[@]}" 2>"$build/fuzz-$name.log"; then
    status=1
    tail -n 40 "$build/fuzz-$name.log"
  fi
  grep -E 'stat::number_of_executed_units' "$build/fuzz-$name.log" || true
done
exit $status
