#!/usr/bin/env bash
# Builds Kestrin and runs every test through CTest, without a display.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --timeout 300 -j2 "$@"
