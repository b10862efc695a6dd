#!/usr/bin/env bash
# The Windows installer under Wine, in a fresh prefix: a silent install (/S), then the installed
# nestbridge-cli.exe uploads and downloads a data folder through pyftpdlib on 127.0.0.1 with its
# settings where an installed copy keeps them, then a silent uninstall, which must remove what
# it installed and leave the settings file and the data folder as they were.
#   test-installer.sh [BUILD-DIR]   (default build-win64, with the target nestbridge-setup built)
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(cd "${1:-build-win64}" && pwd)
setup=$(ls "$build"/nestbridge-setup-*.exe)
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=ko_KR.UTF-8
wine=/usr/lib/wine/wine64
server_pid=
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "test-installer: FAILED: $*" >&2; exit 1; }
step() { echo "test-installer: $*"; }

step "fresh prefix"
"$wine" wineboot -i >/dev/null 2>&1 || true
/usr/lib/wine/wineserver -w
drive_c=$WINEPREFIX/drive_c
installed="$drive_c/Program Files/Nestbridge"

step "silent install"
"$wine" "$setup" /S >/dev/null 2>&1 || fail "the installer failed"
/usr/lib/wine/wineserver -w
for f in nestbridge.exe nestbridge-cli.exe zipcode.bck uninstall.exe; do
  [ -f "$installed/$f" ] || fail "not installed: $f"
done
cmp -s "$installed/zipcode.bck" "$build/data/zipcode.bck" || fail "zipcode.bck differs"
shortcut=$(find "$drive_c" -path '*Start Menu/Programs/Nestbridge.lnk' | head -1)
[ -n "$shortcut" ] || fail "no Start-menu shortcut"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Nestbridge'
"$wine" reg query "$uninstall_key" /v UninstallString >/dev/null 2>&1 || fail "no entry among the installed programs"

step "pyftpdlib on 127.0.0.1"
port=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/ftp"
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -u kim -P pw -d "$work/ftp" >"$work/ftp.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

data="$drive_c/Tallyvine/Data"
mkdir -p "$data"
"$wine" reg add 'HKCU\Software\Marrowby\Tallyvine\Database' /v DefaultDatabase /d 'C:\Tallyvine\Data\' /f \
  >/dev/null 2>&1 || fail "cannot write the registry value"
appdata=$("$wine" cmd /c echo %APPDATA% 2>/dev/null | tr -d '\r')
appdata_settings=$("$wine" winepath -u "$appdata" 2>/dev/null | sed 's:/*$::')/Nestbridge/FtpHost.ini

# One upload and one download through the installed program, with its settings where it keeps
# them: beside itself where it may write (Wine run as root may write to Program Files), else in
# the user's application data.
round_trip() {
  local mode settings
  if [ -w "$installed" ]; then
    mode=writable settings="$installed/FtpHost.ini"
  else
    mode=read-only settings=$appdata_settings
  fi
  step "$mode installation folder: settings in $settings"
  mkdir -p "$(dirname "$settings")"
  printf '[Service]\r\nFtpHost=127.0.0.1\r\nFtpPort=%s\r\nProbeHost=127.0.0.1\r\nProbeTimeout=3000\r\n' "$port" >"$settings"
  rm -rf "$data" "$work/uploaded" "$work/ftp/kim.bck"
  mkdir -p "$data"
  head -c 70000 /dev/urandom >"$data/Sale.DB"
  printf 'items' >"$data/Item.DB"
  printf 'memo' >"$data/TaxBill.MB"
  cp -a "$data" "$work/uploaded"

  "$wine" "$installed/nestbridge-cli.exe" upload --user kim --password pw >"$work/upload.out" 2>&1 ||
    { cat "$work/upload.out"; fail "$mode: upload"; }
  [ -s "$work/ftp/kim.bck" ] || fail "$mode: nothing arrived on the server"
  grep -q '^HOSTID=kim' "$settings" || fail "$mode: the installed copy did not keep its settings in $settings"

  printf 'changed' >"$data/Sale.DB"
  rm "$data/Item.DB"
  "$wine" "$installed/nestbridge-cli.exe" download --user kim --password pw --yes >"$work/download.out" 2>&1 ||
    { cat "$work/download.out"; fail "$mode: download"; }
  # Windows restores the names as the archive stores them, in lower case.
  for f in Sale.DB Item.DB TaxBill.MB; do
    cmp -s "$data/${f,,}" "$work/uploaded/$f" || fail "$mode: $f did not come back as uploaded"
  done
  [ -f "$data/zipcode.txt" ] || fail "$mode: the installed zipcode.bck was not restored"
}

round_trip
settings_files=()
for f in "$installed/FtpHost.ini" "$appdata_settings"; do [ -f "$f" ] && settings_files+=("$f"); done

step "silent uninstall"
settings_before=$(sha256sum "${settings_files[@]}")
data_before=$(cd "$data" && find . -type f -exec sha256sum {} + | sort)
"$wine" "$installed/uninstall.exe" /S >/dev/null 2>&1 || fail "the uninstaller failed"
/usr/lib/wine/wineserver -w
for f in nestbridge.exe nestbridge-cli.exe zipcode.bck uninstall.exe; do
  [ ! -e "$installed/$f" ] || fail "left behind: $f"
done
[ ! -e "$shortcut" ] || fail "the shortcut was left behind"
! "$wine" reg query "$uninstall_key" >/dev/null 2>&1 || fail "the installed-programs entry was left behind"
[ "$(sha256sum "${settings_files[@]}" 2>/dev/null)" = "$settings_before" ] || fail "a settings file was changed or removed"
[ "$(cd "$data" && find . -type f -exec sha256sum {} + | sort)" = "$data_before" ] || fail "the data folder changed"
step "passed"
