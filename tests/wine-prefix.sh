#!/usr/bin/env bash
# Creates a Wine prefix fit for driving windows from a test: no window
# manager waits, no .NET or HTML engine questions. Safe to call often and
# from parallel tests: the first caller builds the prefix, the others wait.
set -euo pipefail
prefix=${1:?prefix folder}
mkdir -p "$(dirname "$prefix")"
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.kv-ready" ]; then
  export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  # Message boxes and dialogs must not wait for a window manager, and a
  # crash must end the process rather than open Wine's debugger dialog.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Auto /d 1 /f >/dev/null 2>&1
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d false /f >/dev/null 2>&1
  wineserver -w || true
  touch "$prefix/.kv-ready"
fi
# The caption buttons (close box and the like) are drawn with Marlett. Wine
# ships it (fonts-wine) but does not find it from a fresh prefix, and then
# draws the letters instead of the symbols; from the prefix's Fonts folder it
# is loaded like any Windows font.
fonts=$prefix/drive_c/windows/Fonts
if [ ! -f "$fonts/marlett.ttf" ] && [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  mkdir -p "$fonts" && cp /usr/share/wine/fonts/marlett.ttf "$fonts/"
fi
