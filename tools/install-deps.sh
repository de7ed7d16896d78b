#!/usr/bin/env bash
# Installs what building and testing need on Debian 12. Safe to run again:
# it does nothing when every package and the Japanese locale are present.
set -euo pipefail

packages=(
  make cmake g++ g++-mingw-w64-i686 binutils-mingw-w64-i686
  googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev
  wine wine32:i386 wine64
  xvfb xdotool x11-apps imagemagick icoutils
  locales fonts-ipafont-gothic
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Some kernels ship with 32-bit emulation switched off, and the 32-bit Wine
# loader cannot run there. Then 32-bit Linux programs go through qemu-user,
# registered with binfmt_misc. It must be qemu 8 or later: 7.2 ignores
# MAP_FIXED_NOREPLACE, and Wine then takes about 50 s to start each process.
if ! /usr/lib/wine/wineserver32 --version >/dev/null 2>&1; then
  if ! dpkg --compare-versions "$(dpkg-query -W -f='${Version}' qemu-user-static 2>/dev/null || echo 0)" ge 1:8; then
    export DEBIAN_FRONTEND=noninteractive
    cat > /etc/apt/sources.list.d/backports.sources <<'SOURCES'
Types: deb
URIs: http://deb.debian.org/debian
Suites: bookworm-backports
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SOURCES
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends -t bookworm-backports qemu-user-static >/dev/null
  fi
  binfmt=/proc/sys/fs/binfmt_misc
  [ -e $binfmt/register ] || mount -t binfmt_misc binfmt_misc $binfmt
  [ -e $binfmt/qemu-i386 ] && echo -1 > $binfmt/qemu-i386
  printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' > $binfmt/register
  /usr/lib/wine/wineserver32 --version >/dev/null
fi

# Wine maps LANG to the ANSI code page, and cannot find non-ASCII file names
# under a locale that is not generated.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
  sed -i 's/^# *\(ja_JP.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
