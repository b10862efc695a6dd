#!/usr/bin/env bash
# The whole suite built with clang under AddressSanitizer and UndefinedBehaviorSanitizer
# (build-asan/, warnings as errors; the same build holds the fuzz targets of scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --sanitizers
# The archives over 2 GiB run once, in the plain suite: under the sanitizers they take far too long.
NB_PRESET=asan bash scripts/build.sh
ctest --preset asan -LE large "$@"
