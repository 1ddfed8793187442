#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail
pkgs=(
  build-essential cmake ninja-build pkg-config
  libcrypto++-dev libssl-dev openssl zlib1g-dev
  libcairo2-dev fontconfig fonts-dejavu-core libsqlite3-dev sqlite3 libcurl4-openssl-dev libxml2-dev libxml2-utils
  libgtest-dev libgmock-dev libbenchmark-dev
  python3 python3-pycryptodome zip unzip 7zip osslsigncode file
  # Pango for text, the fallback fonts the text tests draw with (CJK, Arabic, colour emoji), xrdb for the scale test
  libpango1.0-dev fonts-wqy-microhei fonts-kacst fonts-noto-color-emoji x11-xserver-utils
  gcc-mingw-w64-i686-win32 gcc-mingw-w64-x86-64-win32
  imagemagick python3-pil
  iproute2 procps
  libx11-dev libxkbcommon-dev libxtst-dev libxfixes-dev xvfb xdotool xclip x11-xkb-utils
  libatk1.0-dev libatk-bridge2.0-dev at-spi2-core dbus python3-gi python3-pyatspi gir1.2-atspi-2.0 openbox
  libldap-dev slapd ldap-utils
  p11-kit p11-kit-modules libp11-kit-dev softhsm2 opensc
  ca-certificates
)
# clang and its runtimes only for the libFuzzer build of fuzz/ (-DKX_FUZZ=ON); the replay needs gcc alone
[ "${1:-}" = "--fuzz" ] && pkgs+=(clang libclang-rt-14-dev)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
