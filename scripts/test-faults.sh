#!/usr/bin/env bash
# The fault-injection suite alone (every test labelled "faults"): crash points through
# nestbridge-cli-hooks, broken transfers, full disks. The plain suite runs it too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
NB_PRESET=dev NB_TARGETS="nestbridge-cli nestbridge-cli-hooks nb_zipcode faults_transfer_test faults_upload_kill_test \
faults_crash_test faults_storage_test app_swap_recovery_test platform_durable_test" bash scripts/build.sh
ctest --preset faults "$@"
