#!/usr/bin/env bash
# The main job on a local default: sets up a fresh Debian machine (packages, build), starts an
# FTP server on 127.0.0.1 with a demo account, makes a demo data folder of the accounting
# program inside a Wine-style prefix, uploads it, changes it, downloads it back and shows what
# came back. Where a display is available it then opens the window on the same setup.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build_dir=build-rel

echo "== Installing the packages the demo needs and building (the release build, $build_dir/)"
bash scripts/install-deps.sh --demo
cmake --preset release >/dev/null
# The window is built where Qt was found; the help text lists its target then.
targets="nestbridge-cli nb_zipcode"
build_help=$(cmake --build "$build_dir" --target help)
if grep -q '\.\.\. nestbridge$' <<<"$build_help"; then
  targets+=" nestbridge"
  echo "   building the command-line program and the window"
else
  echo "   building the command-line program only: Qt was not found, so there is no window"
fi
NB_PRESET=release NB_TARGETS=$targets bash scripts/build.sh
cli="$root/$build_dir/cli/nestbridge-cli"
gui="$root/$build_dir/app/gui/nestbridge"

demo=$(mktemp -d "${TMPDIR:-/tmp}/nestbridge-demo.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$demo"
}
trap cleanup EXIT

echo "== Starting the FTP server on 127.0.0.1 (account demo / demo)"
mkdir -p "$demo/ftp-home"
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -u demo -P demo -d "$demo/ftp-home" \
  >"$demo/ftp.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { cat "$demo/ftp.log"; echo "the FTP server did not start" >&2; exit 1; }
  sleep 0.1
done

echo "== A Wine prefix whose registry names C:\\Tallyvine\\Data as the data folder"
export WINEPREFIX="$demo/wine" XDG_CONFIG_HOME="$demo/config"
data="$WINEPREFIX/drive_c/Tallyvine/Data"
mkdir -p "$data" "$WINEPREFIX/dosdevices" "$XDG_CONFIG_HOME/nestbridge"
ln -s ../drive_c "$WINEPREFIX/dosdevices/c:"
cat >"$WINEPREFIX/user.reg" <<'REG'
WINE REGISTRY Version 2
;; All keys relative to \\User\\S-1-5-21-0-0-0-1000

[Software\\Marrowby\\Tallyvine\\Database] 1700000000
"DefaultDatabase"="C:\\Tallyvine\\Data\\"
REG
cat >"$XDG_CONFIG_HOME/nestbridge/FtpHost.ini" <<INI
[Service]
FtpHost=127.0.0.1
FtpPort=$port
ProbeHost=127.0.0.1
ProbeTimeout=3000
INI
for table in Sale SaleItem Purchase Item Employee TaxBill; do
  for n in 1 2 3; do printf '%s record %d\t2024-03-0%d\t%d000\n' "$table" "$n" "$n" "$n"; done >"$data/$table.DB"
  printf '%s index\n' "$table" >"$data/$table.PX"
done
ls -l "$data"
cp -a "$data" "$demo/uploaded"

echo
echo "== nestbridge-cli upload --user demo --password demo"
"$cli" upload --user demo --password demo
echo "   on the server:"
ls -l "$demo/ftp-home"
# The stored names carry the data folder's path; show the file names alone.
"$cli" archive list "$demo/ftp-home/demo.bck" | sed -E 's#^[^\t]*/([^/\t]*\t)#   \1#; s#^(title|total|file)#   \1#' 

echo
echo "== Changing the data: Sale.DB gets a record, Item.DB is deleted, Stray.tmp appears"
printf 'Sale record 4\t2024-03-04\t4000\n' >>"$data/Sale.DB"
rm "$data/Item.DB"
echo "not a table" >"$data/Stray.tmp"

echo
echo "== nestbridge-cli download --user demo --password demo"
echo "   The changes were never uploaded, so the download asks first; without a terminal it stops:"
"$cli" download --user demo --password demo </dev/null || true
echo
echo "== nestbridge-cli download --user demo --password demo --yes"
echo "   (the changed tables are kept in Backup/demo.bck.before-download; undo-download brings them back)"
"$cli" download --user demo --password demo --yes

echo
echo "== What came back"
ls -l "$data"
echo "   compared with what was uploaded (ZipCode.txt comes from zipcode.bck; Backup holds the archive and the kept tables):"
if diff -r --exclude=Backup "$demo/uploaded" "$data"; then echo "   (identical)"; fi

echo
if [ ! -x "$gui" ]; then
  echo "== The window was not built (no Qt), so it is not opened"
elif [ -z "${DISPLAY:-}" ]; then
  echo "== No display (\$DISPLAY is empty), so the window is not opened; with one it opens here"
else
  echo "== Opening the window on the same setup: the password is \"demo\". Close it to end the demo."
  "$gui" || true
fi
echo "== Done"
