#!/usr/bin/env bash
# Installs the Debian packages a job needs; idempotent; works as root or through sudo.
#   install-deps.sh            the tests of the plain suite (scripts/test.sh)
#   install-deps.sh --demo     only what the demo needs: compiler, CMake, the codecs' libraries, Qt, OpenSSL, pyftpdlib
#   install-deps.sh --sanitizers | --package | --windows | --bench   the tests plus that job's tools
#   install-deps.sh --all      everything CI runs
set -euo pipefail

demo=(build-essential cmake pkg-config zlib1g-dev libisal-dev libdeflate-dev libssl-dev qt6-base-dev fonts-nanum python3
      python3-pyftpdlib)
tests=("${demo[@]}" libgtest-dev libgmock-dev xvfb xauth openssl python3-openssl vsftpd libsodium23
       iproute2 util-linux procps attr)
sanitizers=(clang libclang-rt-14-dev)
package=(dpkg-dev file)
# The Windows programs: cross compilers, zlib for them, Wine and the Korean locale it runs in, and
# the installer's builder.
windows=(g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev googletest wine64 locales nsis)
# The archive and press benchmarks run pigz and igzip (Debian isal) beside the program.
bench=(curl libbenchmark-dev pigz isal iproute2)
format=(clang-format)

packages=()
korean=false
[ $# -eq 0 ] && set -- --tests
for job in "$@"; do
  case "$job" in
    --demo) packages+=("${demo[@]}") ;;
    --tests) packages+=("${tests[@]}") ;;
    --sanitizers) packages+=("${tests[@]}" "${sanitizers[@]}") ;;
    --package) packages+=("${tests[@]}" "${package[@]}") ;;
    --windows) packages+=("${tests[@]}" "${windows[@]}"); korean=true ;;
    --bench) packages+=("${tests[@]}" "${bench[@]}") ;;
    --all) packages+=("${tests[@]}" "${sanitizers[@]}" "${package[@]}" "${windows[@]}" "${bench[@]}" "${format[@]}")
           korean=true ;;
    *) echo "install-deps.sh: unknown job $job" >&2; exit 2 ;;
  esac
done

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
if [ ${#missing[@]} -gt 0 ]; then
  mapfile -t missing < <(printf '%s\n' "${missing[@]}" | sort -u)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
  # vsftpd and pure-ftpd are only test peers: never leave them running as system services.
  for service in vsftpd pure-ftpd; do
    if command -v systemctl >/dev/null 2>&1; then "${sudo_cmd[@]}" systemctl disable --now $service >/dev/null 2>&1 || true; fi
    "${sudo_cmd[@]}" service $service stop >/dev/null 2>&1 || true
  done
fi
# pure-ftpd is a test peer too, but Debian lets only one FTP server package be installed: its
# programs are unpacked into a folder of ours instead (the tests look there), vsftpd stays.
peers=/usr/local/lib/nestbridge-peers
peer_from_package() {
  local name=$1 binary=$2
  [ -x "$peers/$name$binary" ] && return 0
  local tmp
  tmp=$(mktemp -d)
  (cd "$tmp" && apt-get download "$name" >/dev/null 2>&1) ||
    { "${sudo_cmd[@]}" apt-get update -qq && (cd "$tmp" && apt-get download "$name" >/dev/null); }
  "${sudo_cmd[@]}" mkdir -p "$peers/$name"
  "${sudo_cmd[@]}" dpkg-deb -x "$tmp"/"$name"_*.deb "$peers/$name"
  rm -rf "$tmp"
}
case " $* " in *" --demo "*) ;; *) peer_from_package pure-ftpd /usr/sbin/pure-ftpd ;; esac
if $korean; then korean_locale; fi
