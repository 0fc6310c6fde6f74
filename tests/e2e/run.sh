#!/usr/bin/env bash
# Runs one group of end-to-end tests against the staged install folder:
# a fresh C:\KAVELTON in the test prefix, the diskette drives the group
# needs, then kv_e2e.exe for that group's tests.
#   run.sh <group> <kv_e2e.exe> <staged KAVELTON> <BIOS double dll> <UsbScan double dll> <work dir>
set -euo pipefail
group=${1:?group}
exe=${2:?kv_e2e.exe}
stage=${3:?staged install folder}
bios_double=${4:-}
usbscan_double=${5:-}
work=${6:?work folder}
usbscan_served=${7:-}  # optional: the served UsbScan.dll double
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Wine derives access lists from the mode bits: an install folder others can
# write is refused at start. Only the OpenFolder group lays one out.
umask 022

: "${KV_WINEPREFIX:=$here/../../build/wineprefix}"
export KV_WINEPREFIX
if [ -z "${DISPLAY:-}" ]; then
  echo "run.sh: DISPLAY is not set; start Xvfb and export DISPLAY" >&2
  exit 1
fi
for f in Kavelton.exe BIOS.dll UsbScan.dll; do
  if [ ! -f "$stage/$f" ]; then
    echo "run.sh: $stage/$f is missing; build the target install_folder first" >&2
    exit 1
  fi
done
"$here/../wine-prefix.sh" "$KV_WINEPREFIX"

winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

install=$KV_WINEPREFIX/drive_c/KAVELTON
rm -rf "$install"
cp -r "$stage" "$install"

# Diskette drives: raw devices backed by 1.44 MB images in the build tree.
media=$work/media-$group
rm -rf "$media"
mkdir -p "$media"
dev=$KV_WINEPREFIX/dosdevices
remove_drives() { rm -f "$dev/a::" "$dev/b::"; }
trap remove_drives EXIT
remove_drives
drive() {
  truncate -s 1474560 "$media/$1.img"
  ln -s "$media/$1.img" "$dev/$1::"
}
case $group in
  NoDiskette) ;;
  DisketteB) drive b ;;
  *) drive a ;;
esac
# Diskette copy groups: sectors that fdd.imz never holds, kept to compare with.
case $group in
  Floppy*)
    head -c 1474560 /dev/urandom >"$media/a.img"
    cp "$media/a.img" "$media/a-before.img"
    export KV_E2E_DISKETTE=$(winpath "$media/a.img")
    export KV_E2E_DISKETTE_BEFORE=$(winpath "$media/a-before.img")
    ;;
esac

[ "$group" = OpenFolder ] && chmod 0777 "$install"
# ROM as a link to a copy of its own in the build tree: never to a real
# file, since under Wine deleting a link deletes what it points at.
if [ "$group" = LinkedRom ]; then
  rm -rf "$work/rom-$group"
  mv "$install/ROM" "$work/rom-$group"
  ln -s "$work/rom-$group" "$install/ROM"
fi

export KV_E2E_STAGE=$(winpath "$stage")
[ -n "$bios_double" ] && [ -f "$bios_double" ] && export KV_E2E_BIOS_DOUBLE=$(winpath "$bios_double")
[ -n "$usbscan_double" ] && [ -f "$usbscan_double" ] && export KV_E2E_USBSCAN_DOUBLE=$(winpath "$usbscan_double")
[ -n "$usbscan_served" ] && [ -f "$usbscan_served" ] && export KV_E2E_USBSCAN_SERVED=$(winpath "$usbscan_served")
[ -n "${KV_FLASHER:-}" ] && [ -f "$KV_FLASHER" ] && export KV_E2E_FLASHER=$(winpath "$KV_FLASHER")
for kind in UNSIGNED OTHER_CA CHANGED; do
  var=KV_FLASHER_$kind
  [ -n "${!var:-}" ] && [ -f "${!var}" ] && export KV_E2E_FLASHER_$kind="$(winpath "${!var}")"
done

# Wine gives every process of the group the standard error it inherited,
# where the loader writes why a program could not start. Kept in a file,
# the fixture quotes it beside a failed start; a failed group shows it all.
errlog=$media/stderr.log
export KV_E2E_STDERR=$(winpath "$errlog")
rc=0
"$here/../wine-run.sh" "$exe" --gtest_filter="$group.*" --gtest_color=no 2>"$errlog" || rc=$?
if [ "$rc" != 0 ] && [ -s "$errlog" ]; then
  echo "== standard error of the group's Wine processes ($errlog):" >&2
  cat "$errlog" >&2
fi
exit "$rc"
