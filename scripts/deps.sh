#!/usr/bin/env bash
# Installs what building and testing Vantrel needs on Debian 12. The one list of packages.
#   scripts/deps.sh                   building, running and testing
#   scripts/deps.sh --package         also building the Debian package (scripts/package.sh)
#   scripts/deps.sh --package-check   also validating it (scripts/package-check.sh, run by CI)
# The validators (lintian pulls in a good deal of Perl) are left off a machine that only builds
# and runs the program.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config
  libgtest-dev googletest
  qt6-base-dev qt6-base-dev-tools libgl-dev fonts-dejavu-core
  clang libclang-rt-14-dev
  nlohmann-json3-dev
  rsync util-linux systemd ccache
  trash-cli
  exfat-fuse exfatprogs ntfs-3g fusefat dosfstools e2fsprogs
)
# dpkg-shlibdeps computes the package's Depends, file tells it which files are programs,
# rsvg-convert draws the icon's PNG sizes.
PACKAGE_BUILD=(dpkg-dev file librsvg2-bin)
PACKAGE_CHECK=(desktop-file-utils appstream lintian man-db)

case "${1:-}" in
  "") ;;
  --package) PACKAGES+=("${PACKAGE_BUILD[@]}") ;;
  --package-check) PACKAGES+=("${PACKAGE_BUILD[@]}" "${PACKAGE_CHECK[@]}") ;;
  *) echo "usage: $0 [--package | --package-check]" >&2; exit 2 ;;
esac

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
