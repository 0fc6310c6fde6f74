#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's test prefix, creating
# the prefix on first use. ctest uses this as the cross-compiling emulator.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
: "${KV_WINEPREFIX:=$here/../build/wineprefix}"
export WINEPREFIX=$KV_WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
"$here/wine-prefix.sh" "$WINEPREFIX"
exec wine "$@"
