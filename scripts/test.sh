#!/usr/bin/env bash
# Installs what is missing, builds Vantrel and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh

export QT_QPA_PLATFORM=offscreen

echo "== build and test =="
scripts/build.sh build
ctest --test-dir build --output-on-failure -j "$(nproc)"
