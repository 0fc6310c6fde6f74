# Shared by the scripts: build folders and a display for Wine.
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
win_build=$root/build/win
native_build=$root/build/native
export KV_WINEPREFIX=${KV_WINEPREFIX:-$root/build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# Wine derives access lists from the mode bits, and Kavelton refuses an
# install folder that others can write: lay every one out without group or
# other write, whatever umask the caller had.
umask 022

build_win() {
  cmake -S "$root" -B "$win_build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$win_build" -j2 "$@"
}

build_native() {
  cmake -S "$root" -B "$native_build" -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
  cmake --build "$native_build"
}

# Starts a virtual display when none is set; stops it when the script exits.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  local n
  for n in 91 92 93 94 95 96 97 98 99; do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    trap 'kill $xvfb_pid 2>/dev/null || true; wineserver -k 2>/dev/null || true' EXIT
    export DISPLAY=:$n
    for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && return 0; sleep 0.1; done
  done
  echo "could not start a virtual display" >&2
  return 1
}

# What stage_demo needs built.
demo_targets="install_folder kv_double_bios kv_double_usbscan_served kv_test_flasher"

# C:\KAVELTON in <prefix> as shipped, plus the demo stand-ins
# (demo/README.md), with drives A: and E: backed by files under <workdir>.
stage_demo() {
  local prefix=$1 work=$2
  local k=$prefix/drive_c/KAVELTON
  rm -rf "$k" && mkdir -p "$k"
  cp -r "$win_build/KAVELTON/." "$k/"
  cp -r "$root/demo/ROM" "$root/demo/System.txt" "$root/demo/bios-double.txt" \
        "$root/demo/usbscan-served.txt" "$root/demo/README.md" "$k/"
  cp "$win_build/tests/stand_ins/bios/BIOS.dll" "$k/BIOS.dll"
  cp "$win_build/tests/stand_ins/usbscan-served/UsbScan.dll" "$k/UsbScan.dll"
  local flasher
  flasher=$(find "$win_build/tests" -name WinFlash64.exe -print -quit 2>/dev/null || true)
  [ -n "$flasher" ] && cp "$flasher" "$k/WinFlash64.exe"
  mkdir -p "$work/usbkey" "$work/floppy-files"
  [ -f "$work/floppy.img" ] || truncate -s 1474560 "$work/floppy.img"
  ln -sfn "$work/floppy.img" "$prefix/dosdevices/a::"
  # Wine cannot mount the image's file system: the files that copybinFile.bat
  # copies "onto the diskette" land in a folder instead.
  ln -sfn "$work/floppy-files" "$prefix/dosdevices/a:"
  ln -sfn "$work/usbkey" "$prefix/dosdevices/e:"
}
