#!/usr/bin/env bash
# Sets up a fresh Debian machine (packages, build) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/build.sh
ctest --test-dir "${NB_BUILD_DIR:-build}" --output-on-failure -j2 "$@"
