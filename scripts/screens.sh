#!/usr/bin/env bash
# Screenshots of the main window and of each dialog at 96, 120, 144 and 192
# DPI (the prefix's LogPixels), each on a screen of the size that scale is
# used with, into build/screens/<dpi>-<window>.png. Prints where each window
# lies and fails when one is not wholly on the screen.
# Usage: screens.sh [DPI:WIDTHxHEIGHT ...]   (e.g. 144:1024x768)
set -euo pipefail
. "$(dirname "$0")/lib.sh"
"$root/scripts/setup.sh"
build_win --target $demo_targets kv_screens

out=$root/build/screens
prefix=$out/prefix
export KV_WINEPREFIX=$prefix WINEPREFIX=$prefix
mkdir -p "$out"
sync=$prefix/drive_c/screens-sync
xvfb_pid=
stop() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  xvfb_pid=
}
trap stop EXIT

free_display() {
  local n
  for n in $(seq 80 99); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] || { echo $n; return; }
  done
  return 1
}

failed=0
settings=("$@")
[ ${#settings[@]} -gt 0 ] || settings=(96:1024x768 120:1024x768 144:1366x768 192:1920x1080)
for setting in "${settings[@]}"; do
  dpi=${setting%%:*} screen=${setting#*:}
  n=$(free_display)
  Xvfb :$n -screen 0 ${screen}x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=:$n
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  "$root/tests/wine-prefix.sh" "$prefix"
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' \
       /v LogPixels /t REG_DWORD /d $dpi /f >/dev/null 2>&1
  wineserver -k 2>/dev/null || true  # the scale is read when the session starts
  stage_demo "$prefix" "$out"
  cp "$win_build/tests/screens/kv_screens.exe" "$prefix/drive_c/"
  rm -rf "$sync" && mkdir -p "$sync"
  echo "== $dpi DPI on $screen"
  # Line by line, unbuffered: the driver waits for each shot. Kavelton's
  # libraries print to the same console; only the driver's lines count.
  rc=0
  wine 'C:\kv_screens.exe' 'C:\screens-sync' 2>/dev/null | while read -r word rest; do
    rest=${rest%$'\r'}
    case $word in
      kv-shot) import -window root "$out/$dpi-$rest.png"; touch "$sync/$rest.done" ;;
      kv-say) echo "  $rest" ;;
    esac
  done || rc=$?
  [ $rc = 0 ] || { echo "  driver exit code $rc"; failed=1; }
  stop
done
echo "screenshots: $out/<dpi>-<window>.png"
exit $failed
