#!/usr/bin/env bash
# Builds Kavelton and starts it under Wine on a ready demo install folder.
# With a display the window opens there; without one it runs on a virtual
# display and a screenshot of the main window is saved.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
"$root/scripts/setup.sh"
build_win --target install_folder kv_double_bios kv_double_usbscan_served kv_test_flasher

demo=$root/build/demo
prefix=$demo/prefix
export KV_WINEPREFIX=$prefix WINEPREFIX=$prefix
headless=0
if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
  headless=1
  unset DISPLAY
  ensure_display
fi
"$root/tests/wine-prefix.sh" "$prefix"

# The install folder as shipped, then the demo stand-ins (demo/README.md).
k=$prefix/drive_c/KAVELTON
rm -rf "$k" && mkdir -p "$k"
cp -r "$win_build/KAVELTON/." "$k/"
cp -r "$root/demo/ROM" "$root/demo/System.txt" "$root/demo/bios-double.txt" \
      "$root/demo/usbscan-served.txt" "$root/demo/README.md" "$k/"
cp "$win_build/tests/doubles/bios/BIOS.dll" "$k/BIOS.dll"
cp "$win_build/tests/doubles/usbscan-served/UsbScan.dll" "$k/UsbScan.dll"
flasher=$(find "$win_build/tests" -name WinFlash64.exe -print -quit 2>/dev/null || true)
[ -n "$flasher" ] && cp "$flasher" "$k/WinFlash64.exe"
mkdir -p "$demo/usbkey" "$demo/floppy-files"
[ -f "$demo/floppy.img" ] || truncate -s 1474560 "$demo/floppy.img"
ln -sfn "$demo/floppy.img" "$prefix/dosdevices/a::"
# Wine cannot mount the image's file system: the files that copybinFile.bat
# copies "onto the diskette" land in a folder instead.
ln -sfn "$demo/floppy-files" "$prefix/dosdevices/a:"
ln -sfn "$demo/usbkey" "$prefix/dosdevices/e:"

cd "$k"
if [ $headless = 0 ]; then
  echo "Kavelton runs in $k (close its window to end the demo)"
  wine Kavelton.exe
  exit 0
fi

# The prefix lets Wine draw the window frames itself, so the screenshot
# shows the window as a user sees it.
wine Kavelton.exe >/dev/null 2>&1 &
shot=$demo/kavelton-main-window.png
for _ in $(seq 150); do
  sleep 0.2
  xwininfo -root -tree 2>/dev/null | grep -q '"Kavelton": (' && break
done
sleep 1
import -window root "$shot"
wineserver -k 2>/dev/null || true
echo "No display: Kavelton ran on a virtual one. Screenshot of the main window: $shot"
