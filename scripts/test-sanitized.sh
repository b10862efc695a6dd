#!/usr/bin/env bash
# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# The archives over 2 GiB run once, in the plain suite: under the sanitizers they take far too long.
NB_PRESET=asan bash scripts/build.sh
ctest --preset asan -LE large "$@"
