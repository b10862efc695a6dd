#!/usr/bin/env bash
# Configures and builds one of CMakePresets.json's builds (NB_PRESET, default dev, into the
# preset's folder) with extra CMake arguments passed through; NB_TARGETS limits the targets.
# The presets make warnings errors.
set -euo pipefail
cd "$(dirname "$0")/.."
preset=${NB_PRESET:-dev}
cmake --preset "$preset" "$@" >/dev/null
targets=()
[ -n "${NB_TARGETS:-}" ] && read -r -a targets <<<"--target $NB_TARGETS"
cmake --build --preset "$preset" -j"$(nproc)" "${targets[@]}"
