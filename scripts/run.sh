#!/usr/bin/env bash
# Installs what is missing, builds Vantrel and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh build
exec build/ui/vantrel "$@"
