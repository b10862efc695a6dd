#!/usr/bin/env bash
# Prepares the Wine prefix the Windows programs run in (tests, the build's own zipcode.bck) and
# keeps one wineserver alive for the whole run, so that each program does not pay its start.
#   wine-prefix.sh PREFIX          create or update PREFIX, start a persistent wineserver
#   wine-prefix.sh PREFIX --stop   end that wineserver
#   wine-prefix.sh PREFIX --bare   create or update PREFIX and leave no Wine process running
#                                  (each program then starts its own session: the window tests)
set -euo pipefail
# Wine's servers outlive this script: none of them may keep its output open, or ctest waits on it.
exec </dev/null >/dev/null 2>&1
export WINEPREFIX=$1 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8
if [ "${2:-}" = --stop ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  exit 0
fi
mkdir -p "$WINEPREFIX"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w
fi
if [ "${2:-}" = --bare ]; then
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  /usr/lib/wine/wineserver -w 2>/dev/null || true
  exit 0
fi
# Fails when a server of this prefix is already up (a run before ours ending): that one serves.
/usr/lib/wine/wineserver -p60 || true
# The first program of a server session starts Wine's services; they inherit its output, so
# start them here, where the output is /dev/null, not under a test whose pipe ctest waits on.
/usr/lib/wine/wine64 cmd /c exit || true
