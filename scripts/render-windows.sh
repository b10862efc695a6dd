#!/usr/bin/env bash
# Draws the main window and the About window into PNG files (default out/windows/), for people to
# look at: the Qt windows on Qt's offscreen platform with the Korean font, and the Win32 windows
# (out/windows/win32/) under Wine on a virtual X display in the Korean locale, at 100 %, 150 %
# and 200 % display scaling (form1.png, form1-144.png, form1-192.png...).
#   render-windows.sh [OUT] [--qt-only|--win32-only]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-out/windows}
which=${2:-both}
bash scripts/install-deps.sh --windows
mkdir -p "$out"
if [ "$which" != --win32-only ]; then
  NB_TARGETS=nestbridge-render bash scripts/build.sh >/dev/null
  QT_QPA_PLATFORM=offscreen build/app/gui/nestbridge-render "$out"
fi
[ "$which" = --qt-only ] && exit 0

NB_PRESET=win64 NB_TARGETS=nestbridge-render bash scripts/build.sh >/dev/null
mkdir -p "$out/win32"
out_win=$(cd "$out/win32" && pwd)
# A prefix of its own: its display settings are changed below.
export WINEPREFIX=$PWD/build-win64/wineprefix-render WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8
wine=/usr/lib/wine/wine64
render=$PWD/build-win64/app/win32gui/nestbridge-render.exe
# No window manager runs on the virtual display: Wine draws the frames itself.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -e
  wine=$1 render=$2 out=$3
  [ -f "$WINEPREFIX/system.reg" ] || "$wine" wineboot -i >/dev/null 2>&1 || true
  "$wine" reg add "HKCU\\Software\\Wine\\X11 Driver" /v Decorated /d N /f >/dev/null 2>&1
  for dpi in 96 144 192; do
    for key in "HKCU\\Control Panel\\Desktop" "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts"; do
      "$wine" reg add "$key" /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
    done
    /usr/lib/wine/wineserver -w
    "$wine" "$render" "Z:${out//\//\\}"
  done
  /usr/lib/wine/wineserver -k || true
' render "$wine" "$render" "$out_win"
