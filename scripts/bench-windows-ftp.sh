#!/usr/bin/env bash
# FTP throughput of the Windows build (under Wine) and of the Linux build, each beside curl on
# the same vsftpd in the same run: over TLS (passive) by default, plain (active) with --plain.
#   bench-windows-ftp.sh [--size-mib N] [--rounds N] [--plain]
# Under Wine TLS is Wine's Schannel over GnuTLS, so the Windows figures say what Wine costs as
# much as what our client does; the ratio to curl is the figure to watch.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh --windows --bench
size=128 rounds=3 mode=tls
while [ $# -gt 0 ]; do
  case $1 in
    --size-mib) size=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --plain) mode=plain; shift ;;
    *) echo "usage: bench-windows-ftp.sh [--size-mib N] [--rounds N] [--plain]" >&2; exit 2 ;;
  esac
done
NB_PRESET=dev NB_TARGETS=ftp_bench bash scripts/build.sh >/dev/null
NB_PRESET=win64 NB_TARGETS=ftp_bench bash scripts/build.sh >/dev/null
prefix=$PWD/build-win64/wineprefix
trap 'bash scripts/wine-prefix.sh "$prefix" --stop' EXIT
bash scripts/wine-prefix.sh "$prefix"
export NB_SOURCE_DIR=$PWD
echo "== Linux"
build/bench/ftp/ftp_bench "$size" "$rounds" "$mode"
echo "== Windows (Wine)"
WINEPREFIX=$prefix LANG=ko_KR.UTF-8 WINEDEBUG=-all \
  /usr/lib/wine/wine64 build-win64/bench/ftp/ftp_bench.exe "$size" "$rounds" "$mode" </dev/null | tr -d '\r'
