#!/usr/bin/env bash
# The whole suite built with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export NB_BUILD_DIR=build-asan NB_BUILD_TYPE=Debug
bash scripts/build.sh -DNB_SANITIZE=ON -DNB_BUILD_BENCH=OFF
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# The archives over 2 GiB run once, in the plain suite: under the sanitizers they take far too long.
ctest --test-dir build-asan --output-on-failure -j2 -LE large "$@"
