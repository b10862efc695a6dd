#!/usr/bin/env bash
# The fault-injection suite: a build with the crash-point hooks (never shipped) into
# build-hooks/, then every test labelled "faults".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export NB_BUILD_DIR=build-hooks NB_BUILD_TYPE=RelWithDebInfo
cmake -S . -B build-hooks -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNB_TEST_HOOKS=ON -DNB_BUILD_BENCH=OFF >/dev/null
cmake --build build-hooks -j"$(nproc)" --target nestbridge-cli nb_zipcode \
  faults_transfer_test faults_upload_kill_test faults_crash_test faults_storage_test app_swap_recovery_test \
  platform_durable_test
ctest --test-dir build-hooks --output-on-failure -j2 -L faults "$@"
