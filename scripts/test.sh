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
# One wineserver for the whole list, ended after it. Debian's wrapper starts
# each server with -p0: every test program would bring up a server and Wine's
# services and take them down as it ends, about a second each, and each group
# would start while the last one's server is still shutting down. Wine's
# services are started here, before any test, so that none holds a test's
# output open.
export WINEPREFIX=$KV_WINEPREFIX
trap 'wineserver -k 2>/dev/null || true; [ -z "${xvfb_pid:-}" ] || kill "$xvfb_pid" 2>/dev/null || true' EXIT
wineserver -p </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1 || true
rc=0
(cd "$win_build" && ctest --output-on-failure --timeout 600) || rc=$?
wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
exit "$rc"
