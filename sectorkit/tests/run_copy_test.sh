#!/usr/bin/env bash
# Runs the Sectorkit caller test under Wine against a diskette image file:
# drive A: is a Wine raw device linked to a 1.44 MB file, C:\KAVELTON\fdd.imz
# a patterned image. Checks the bytes that land on the diskette with cmp.
# Usage: run_copy_test.sh <sectorkit_copy_test.exe>
set -euo pipefail
exe=${1:?test program}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
run=$here/../../tests/wine-run.sh
: "${KV_WINEPREFIX:=$here/../../build/wineprefix}"
export KV_WINEPREFIX
"$here/../../tests/wine-prefix.sh" "$KV_WINEPREFIX"

sector=512
disk_bytes=1474560
copied=$((750 * sector))
install=$KV_WINEPREFIX/drive_c/KAVELTON
link=$KV_WINEPREFIX/dosdevices/a::
work=$(mktemp -d)
made_install=
[ -d "$install" ] || made_install=1
mkdir -p "$install"

# Leave the prefix as we found it: other tests share it.
saved_link=$(readlink "$link" 2>/dev/null || true)
saved_image=
if [ -e "$install/fdd.imz" ]; then saved_image=$work/saved.imz; cp -p "$install/fdd.imz" "$saved_image"; fi
restore() {
  rm -f "$link" "$install/fdd.imz"
  [ -n "$saved_link" ] && ln -s "$saved_link" "$link"
  [ -n "$saved_image" ] && cp -p "$saved_image" "$install/fdd.imz"
  [ -n "$made_install" ] && rmdir --ignore-fail-on-non-empty "$install"
  rm -rf "$work"
}
trap restore EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

# A freshly formatted diskette is all 0xF6; every image sector starts with
# its own number so a misplaced sector shows.
blank_disk() { head -c "$disk_bytes" /dev/zero | tr '\0' '\366' > "$1"; }
patterned_image() {
  python3 - "$1" "$2" <<'PY'
import sys
path, sectors = sys.argv[1], int(sys.argv[2])
with open(path, "wb") as f:
    for i in range(sectors):
        f.write(i.to_bytes(4, "little") + bytes((i * 7 + j) & 0xFF for j in range(508)))
PY
}
run_suite() {
  echo "== $1"
  "$run" "$exe" --gtest_filter="$1.*" || fail "suite $1"
}
same_range() {  # file1 offset1 file2 offset2 length what
  cmp -s <(tail -c +$(($2 + 1)) "$1" | head -c "$5") <(tail -c +$(($4 + 1)) "$3" | head -c "$5") || fail "$6"
}

blank_disk "$work/blank.img"
cp "$work/blank.img" "$work/disk.img"

rm -f "$link" "$install/fdd.imz"
run_suite SectorkitWithoutDrive

ln -s "$work/disk.img" "$link"
run_suite SectorkitWithoutImage
cmp -s "$work/disk.img" "$work/blank.img" || fail "a failed open changed the diskette"

patterned_image "$install/fdd.imz" $((disk_bytes / sector))
cp "$install/fdd.imz" "$work/image.copy"
run_suite SectorkitCopy
[ "$(stat -c %s "$work/disk.img")" = "$disk_bytes" ] || fail "diskette size changed: $(stat -c %s "$work/disk.img")"
same_range "$work/disk.img" 0 "$work/image.copy" 0 "$copied" "first 750 sectors differ from fdd.imz"
same_range "$work/disk.img" "$copied" "$work/blank.img" "$copied" $((disk_bytes - copied)) "sectors past 750 were touched"
cmp -s "$install/fdd.imz" "$work/image.copy" || fail "fdd.imz itself changed"

cp "$work/blank.img" "$work/disk.img"
patterned_image "$install/fdd.imz" 3
run_suite SectorkitShortImage
same_range "$work/disk.img" 0 "$install/fdd.imz" 0 $((3 * sector)) "short image: first 3 sectors differ"
same_range "$work/disk.img" $((3 * sector)) "$work/blank.img" $((3 * sector)) $((disk_bytes - 3 * sector)) "short image: sectors past the image end were touched"

# A USB stick that got the letter A: (an 8 MB volume) is refused untouched.
head -c $((8 << 20)) /dev/urandom | tee "$work/stick.img" > "$work/disk.img"
run_suite SectorkitWithoutDrive
cmp -s "$work/disk.img" "$work/stick.img" || fail "an 8 MB volume was changed"

echo "sectorkit copy test passed"
