#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and the demo need.
# Idempotent; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev file
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  qt6-base-dev fonts-nanum xvfb xauth
  python3 python3-pyftpdlib vsftpd curl
  iproute2 util-linux procps attr
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# vsftpd is only a benchmark peer: never leave it running as a system service.
if command -v systemctl >/dev/null 2>&1; then "${sudo_cmd[@]}" systemctl disable --now vsftpd >/dev/null 2>&1 || true; fi
"${sudo_cmd[@]}" service vsftpd stop >/dev/null 2>&1 || true
