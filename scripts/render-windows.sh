#!/usr/bin/env bash
# Draws the main window and the About window into PNG files (default out/windows/), on Qt's
# offscreen platform with the Korean font, for people to look at.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out/windows}
build_dir=${NB_BUILD_DIR:-build}
bash scripts/install-deps.sh
cmake -S . -B "$build_dir" >/dev/null
cmake --build "$build_dir" --target nestbridge-render -j"$(nproc)" >/dev/null
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen "$build_dir/app/gui/nestbridge-render" "$out"
