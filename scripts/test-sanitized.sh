#!/usr/bin/env bash
# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
NB_PRESET=asan bash scripts/build.sh
ctest --preset asan "$@"
