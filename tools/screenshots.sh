#!/usr/bin/env bash
# Renders the wizard window on each of its seven pages, the animation's frames, the Preview
# dialog (a small plan and one of 100,000 actions) and the removal dialog to PNG files, on the
# offscreen platform: tools/screenshots.sh [FOLDER]
# (default FOLDER: build/screenshots). The same program checks that no text is clipped and no
# two controls overlap, and fails when one is.
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-build/screenshots}"
cmake -S . -B build -G Ninja -DVANTREL_WERROR=ON >/dev/null
cmake --build build --target tst_mainform_screens -j 2
mkdir -p "$out"
out="$(cd "$out" && pwd)"
# The preview's timings (walk, drawing, sorting 100,000 rows) are printed as it goes.
QT_QPA_PLATFORM=offscreen VANTREL_SCREENSHOT_DIR="$out" build/tests/ui/tst_mainform_screens
echo "Pictures in $out:"
ls "$out"
