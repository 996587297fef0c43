#!/usr/bin/env bash
# Installs what building and testing Vantrel needs on Debian 12. The one list of packages.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  clang libclang-rt-14-dev
  rsync util-linux
  exfat-fuse exfatprogs ntfs-3g fusefat dosfstools
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
echo "Installing: ${missing[*]}"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
