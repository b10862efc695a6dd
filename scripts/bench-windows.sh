#!/usr/bin/env bash
# Archive create and restore throughput of the Windows build (under Wine, Korean locale) beside
# the Linux build, on the same corpus in the same run, with the ratio Windows / Linux.
#   bench-windows.sh [--size-mib N] [--runs N] [--rounds N]
# Under Wine most file calls pass through a translation layer, so a ratio far below 0.8 points
# at a call made per block (or per byte) that should not be.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows --bench
size=64 runs=3 rounds=3
while [ $# -gt 0 ]; do
  case $1 in
    --size-mib) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: bench-windows.sh [--size-mib N] [--runs N] [--rounds N]" >&2; exit 2 ;;
  esac
done
NB_PRESET=dev NB_TARGETS=archive_bench bash scripts/build.sh >/dev/null
NB_PRESET=win64 NB_TARGETS=archive_bench bash scripts/build.sh >/dev/null
linux=build/bench/archive/archive_bench
windows=build-win64/bench/archive/archive_bench.exe
prefix=$PWD/build-win64/wineprefix

work=$(mktemp -d "${TMPDIR:-/tmp}/bench-windows.XXXXXX")
trap 'bash scripts/wine-prefix.sh "$prefix" --stop; rm -rf "$work"' EXIT
bash scripts/wine-prefix.sh "$prefix"
"$linux" --make-corpus "$work/corpus" --size-mib "$size"

# Wine's drive Z: is the Linux root.
winpath() { echo "Z:${1//\//\\}"; }
run_linux() { "$linux" --corpus "$work/corpus" --work "$work/linux" --runs "$runs"; }
run_windows() {
  WINEPREFIX=$prefix LANG=ko_KR.UTF-8 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" \
    /usr/lib/wine/wine64 "$windows" --corpus "$(winpath "$work/corpus")" --work "$(winpath "$work/windows")" \
    --runs "$runs" | tr -d '\r'
}
# The machine is shared: the two builds take turns, and each keeps its best round, so that a
# burst of load elsewhere does not land on one side only.
figures_linux="" figures_windows=""
for _ in $(seq "$rounds"); do
  figures_linux+=$(run_linux)$'\n'
  figures_windows+=$(run_windows)$'\n'
done

best() { awk -v key="$1" '$1 == key && $2 > best { best = $2 } END { print best }' <<<"$2"; }
echo "corpus: $(best corpus "$figures_linux") MiB (3/4 table rows, 1/4 incompressible)," \
  "best of $rounds rounds of $runs runs"
printf '%-8s %12s %12s %8s\n' "" "Linux MiB/s" "Wine MiB/s" "ratio"
for step in create restore; do
  l=$(best "$step" "$figures_linux") w=$(best "$step" "$figures_windows")
  printf '%-8s %12s %12s %8s\n' "$step" "$l" "$w" "$(awk -v w="$w" -v l="$l" 'BEGIN { printf "%.2f", w / l }')"
done
