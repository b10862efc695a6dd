#!/usr/bin/env bash
# The fault-injection suite: a build with the crash-point hooks (never shipped) into
# build-hooks/, then every test labelled "faults".
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
NB_PRESET=faults NB_TARGETS="nestbridge-cli nb_zipcode faults_transfer_test faults_upload_kill_test faults_crash_test \
faults_storage_test app_swap_recovery_test platform_durable_test" bash scripts/build.sh
ctest --preset faults "$@"
