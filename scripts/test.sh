#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, build) and runs every test (extra arguments go to
# ctest). NB_PRESET=clang runs the same suite built with clang.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
preset=${NB_PRESET:-dev}
NB_PRESET=$preset bash scripts/build.sh
ctest --preset "$preset" "$@"
