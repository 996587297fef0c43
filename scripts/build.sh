#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh DIR [cmake options...]
# VANTREL_TARGET names the one target to build (default: all).
set -euo pipefail
cd "$(dirname "$0")/.."
dir="$1"; shift
launcher=()
if command -v ccache >/dev/null 2>&1; then
  # Paths relative to the checkout, so that another clone on the same machine hits the cache.
  export CCACHE_BASEDIR="$PWD"
  # And not keyed by the build folder, which -g otherwise makes it: without this another clone
  # hit nothing. The price: a debugger may look for such an object's sources in the clone that
  # compiled it first.
  export CCACHE_NOHASHDIR=true
  # The tests use precompiled headers, which ccache caches only with this sloppiness. Sound
  # here: CMake includes them ahead of every line of a source file, so no #define of the file
  # can change them, and no source uses __DATE__ or __TIME__.
  export CCACHE_SLOPPINESS="${CCACHE_SLOPPINESS:+$CCACHE_SLOPPINESS,}pch_defines,time_macros"
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$dir" -G Ninja -DVANTREL_WERROR=ON "${launcher[@]}" "$@" >/dev/null
cmake --build "$dir" -j "$(nproc)" ${VANTREL_TARGET:+--target "$VANTREL_TARGET"}
