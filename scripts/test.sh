#!/usr/bin/env bash
# Builds everything and runs every test: the portable core natively (under
# ASan/UBSan, with the fuzz targets), then the Windows programs under Wine.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
"$root/scripts/setup.sh"

echo "== native core =="
build_native
(cd "$native_build" && ctest --output-on-failure)

echo "== Windows build and tests under Wine =="
build_win
ensure_display
WINEPREFIX=$KV_WINEPREFIX "$root/tests/wine-prefix.sh" "$KV_WINEPREFIX"
(cd "$win_build" && ctest --output-on-failure --timeout 600)
