#!/usr/bin/env bash
# Draws the main window and the About window into PNG files (default out/windows/), on Qt's
# offscreen platform with the Korean font, for people to look at.
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out/windows}
bash scripts/install-deps.sh
NB_TARGETS=nestbridge-render bash scripts/build.sh >/dev/null
mkdir -p "$out"
QT_QPA_PLATFORM=offscreen build/app/gui/nestbridge-render "$out"
