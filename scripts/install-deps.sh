#!/usr/bin/env bash
# Installs the Debian packages the build, the tests, the benchmarks and the demo need.
# Idempotent; works as root or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config dpkg-dev file
  zlib1g-dev libgtest-dev libgmock-dev libbenchmark-dev
  clang clang-format libclang-rt-14-dev
  qt6-base-dev fonts-nanum xvfb xauth
  libssl-dev openssl python3 python3-pyftpdlib python3-openssl vsftpd curl
  iproute2 util-linux procps attr
  # The Windows programs: cross compilers, zlib for them, Wine and the Korean locale it runs in,
  # and the installer's builder.
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest wine64 locales nsis
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
# Wine gives a Windows program the ANSI code page 949 only under a Korean locale.
korean_locale() {
  locale -a 2>/dev/null | grep -qi '^ko_KR\.utf-\?8$' && return 0
  "${sudo_cmd[@]}" sed -i 's/^# *\(ko_KR.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ko_KR.UTF-8 UTF-8' /etc/locale.gen || echo 'ko_KR.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  "${sudo_cmd[@]}" locale-gen >/dev/null
}
if [ ${#missing[@]} -eq 0 ]; then
  korean_locale
  exit 0
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
# vsftpd is only a benchmark peer: never leave it running as a system service.
if command -v systemctl >/dev/null 2>&1; then "${sudo_cmd[@]}" systemctl disable --now vsftpd >/dev/null 2>&1 || true; fi
"${sudo_cmd[@]}" service vsftpd stop >/dev/null 2>&1 || true
korean_locale
