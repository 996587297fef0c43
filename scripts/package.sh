#!/usr/bin/env bash
# Builds the Debian package build/vantrel_<version>_amd64.deb from the release build tree
# (built first if it is not up to date) and prints its path.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh --package
scripts/build.sh build >&2
# A package left from an earlier version would be taken for this one by a glob.
rm -f build/vantrel_*.deb
(cd build && cpack -G DEB) >&2
ls "$PWD"/build/vantrel_*.deb
