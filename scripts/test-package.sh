#!/usr/bin/env bash
# The Debian package: the release build (g++, warnings as errors) into build-rel/, packed with
# cpack; installed with apt-get, the installed programs run (help, an archive round trip, a
# download that restores the installed zipcode.bck, the window started headless), then removed,
# leaving no file of its own. Needs root (or sudo) and replaces an installed nestbridge package.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/install-deps.sh --package
NB_PRESET=release bash scripts/build.sh
rm -f build-rel/nestbridge_*.deb
(cd build-rel && cpack -G DEB >/dev/null)
deb=$(ls "$root"/build-rel/nestbridge_*_*.deb)
echo "== $(basename "$deb")"
dpkg-deb -f "$deb" Depends

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
work=$(mktemp -d "${TMPDIR:-/tmp}/nestbridge-package.XXXXXX")
server_pid=
cleanup() {
  if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "test-package: $*" >&2; exit 1; }

export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
dpkg-query -L nestbridge | sort >"$work/files"
for f in /usr/bin/nestbridge /usr/bin/nestbridge-cli /usr/share/nestbridge/zipcode.bck \
    /usr/share/applications/nestbridge.desktop /usr/share/icons/hicolor/scalable/apps/nestbridge.svg \
    /usr/share/man/man1/nestbridge.1.gz /usr/share/man/man1/nestbridge-cli.1.gz; do
  grep -qx "$f" "$work/files" || fail "the package lacks $f"
done
cd "$work"  # nothing below may come from the build folder

echo "== the installed nestbridge-cli"
/usr/bin/nestbridge-cli --help | grep -q '^  upload ' || fail "--help lists no upload"
/usr/bin/nestbridge-cli --version
mkdir in out
printf 'first table\n' >in/A.DB
head -c 200000 /dev/urandom >in/B.DB
/usr/bin/nestbridge-cli archive create --title "round trip" rt.bck "$work/in/*.DB" >/dev/null
/usr/bin/nestbridge-cli archive verify rt.bck
/usr/bin/nestbridge-cli archive restore rt.bck "$work/out" >/dev/null
cmp in/A.DB out/A.DB && cmp in/B.DB out/B.DB || fail "the archive round trip changed the files"

echo "== a download restores the installed zipcode.bck (the window looks it up the same way)"
export XDG_CONFIG_HOME="$work/config" WINEPREFIX="$work/wine" NESTBRIDGE_PASSWORD=pw
mkdir -p ftp "$XDG_CONFIG_HOME/nestbridge" "$WINEPREFIX" office home
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$port" -w -u pk -P pw -d "$work/ftp" >ftp.log 2>&1 &
server_pid=$!
for _ in $(seq 100); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
printf '[Service]\nFtpHost=127.0.0.1\nFtpPort=%s\nProbeHost=127.0.0.1\nProbeTimeout=3000\n' "$port" \
  >"$XDG_CONFIG_HOME/nestbridge/FtpHost.ini"
printf 'sales\n' >office/Sale.DB
/usr/bin/nestbridge-cli upload --user pk --data-folder "$work/office" --quiet >/dev/null
/usr/bin/nestbridge-cli download --user pk --data-folder "$work/home" --quiet >/dev/null
cmp office/Sale.DB home/Sale.DB || fail "the download did not bring the data back"
[ -s home/ZipCode.txt ] || fail "the installed zipcode.bck was not found"

echo "== the installed window starts (headless)"
status=0
timeout 5 xvfb-run -a /usr/bin/nestbridge >window.log 2>&1 || status=$?
[ "$status" -eq 124 ] || { cat window.log; fail "the window ended by itself (status $status)"; }

echo "== removal leaves nothing behind"
"${sudo_cmd[@]}" apt-get remove --purge -y -qq nestbridge >/dev/null
left=0
while read -r f; do
  if [ -e "$f" ] && ! [ -d "$f" ]; then echo "left behind: $f"; left=1; fi
done <files
[ -e /usr/share/nestbridge ] && { echo "left behind: /usr/share/nestbridge"; left=1; }
[ "$left" -eq 0 ] || fail "files of the package remain after its removal"
echo "== package OK"
