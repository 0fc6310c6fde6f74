#!/usr/bin/env bash
# Checks the staged install folder: the diskette image fdd.imz (size, FAT12
# that mtools and fsck.fat accept, our boot code, reproducible), the folder's
# exact contents, Kavelton.zip when it has been packed, and the two batch
# files under Wine against a drive letter mapped to a temp folder.
# Usage: check_install.sh <staged KAVELTON folder> <Kavelton.zip>
set -euo pipefail
dir=${1:?staged install folder}
zip=${2:?zip path}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$here/../..
run=$root/tests/wine-run.sh
: "${KV_WINEPREFIX:=$root/build/wineprefix}"
export KV_WINEPREFIX

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
work=$(mktemp -d)
qlink=$KV_WINEPREFIX/dosdevices/q:
saved_q=
cleanup() {
  rm -f "$qlink"
  [ -n "$saved_q" ] && ln -s "$saved_q" "$qlink"
  rm -rf "$work" "${winstall:-}"
}
trap cleanup EXIT

echo "== fdd.imz"
img=$dir/fdd.imz
size=$(stat -c %s "$img")
[ "$size" = 1474560 ] || fail "fdd.imz has $size bytes"
mdir -i "$img" :: >"$work/mdir.txt" 2>&1 || fail "mdir cannot read fdd.imz: $(cat "$work/mdir.txt")"
grep -q 'Volume in drive : is KAVELTON' "$work/mdir.txt" || fail "label: $(head -2 "$work/mdir.txt")"
fsck.fat -n "$img" >"$work/fsck.txt" 2>&1 || fail "fsck.fat: $(cat "$work/fsck.txt")"
byte_hex() { od -An -tx1 -j "$2" -N "$3" "$1" | tr -d ' \n'; }
[ "$(byte_hex "$img" 510 2)" = 55aa ] || fail "boot signature $(byte_hex "$img" 510 2)"
[ "$(byte_hex "$img" 11 2)" = 0002 ] || fail "bytes per sector $(byte_hex "$img" 11 2)"
[ "$(byte_hex "$img" 19 2)" = 400b ] || fail "total sectors $(byte_hex "$img" 19 2), want 2880"
[ "$(byte_hex "$img" 21 1)" = f0 ] || fail "media byte $(byte_hex "$img" 21 1)"
[ "$(byte_hex "$img" 54 8)" = "$(printf 'FAT12   ' | od -An -tx1 | tr -d ' \n')" ] || fail "file system type $(byte_hex "$img" 54 8)"
# The jump at 0 must land on our code, and the code must print our line.
[ "$(byte_hex "$img" 0 3)" = eb3c90 ] || fail "boot jump $(byte_hex "$img" 0 3)"
head -c 512 "$img" > "$work/boot.bin"
message_at=$(grep -abo 'Kavelton flash diskette' "$work/boot.bin" | cut -d: -f1 || true)
[ -n "$message_at" ] || fail "boot message not in the boot sector"
objdump -D -b binary -m i8086 --start-address=0x3e "$work/boot.bin" > "$work/boot.asm"
for insn in 'int    $0x10' 'hlt' 'lods'; do
  grep -qF "$insn" "$work/boot.asm" || fail "boot code lacks '$insn'"
done
si=$(grep -oE 'mov +\$0x[0-9a-f]+,%si' "$work/boot.asm" | head -1 | grep -oE '0x[0-9a-f]+' || true)
[ -n "$si" ] && [ -n "$message_at" ] && [ $((si)) -eq $((0x7c00 + message_at)) ] \
  || fail "boot code points at ${si:-nothing}, message is at 0x7c00+${message_at:-?}"
python3 "$root/install/make_fdd_image.py" "$work/again.imz" --mkfs "$(command -v mkfs.fat || echo /usr/sbin/mkfs.fat)"
cmp -s "$img" "$work/again.imz" || fail "fdd.imz is not reproducible"

echo "== folder contents"
expected="BIOS.dll Kavelton.exe ROM Sectorkit.dll ToUSB.bat UsbScan.dll copybinFile.bat fdd.imz"
got=$(ls -1 "$dir" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
[ "$got" = "$(echo "$expected" | tr ' ' '\n' | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')" ] || fail "install folder holds: $got"
[ -z "$(ls -A "$dir/ROM" 2>/dev/null)" ] || fail "ROM is not empty: $(ls -A "$dir/ROM")"
for bat in copybinFile.bat ToUSB.bat; do
  lines=$(wc -l < "$dir/$bat")
  crlf=$(grep -c $'\r$' "$dir/$bat" || true)
  [ "$lines" -gt 0 ] && [ "$lines" = "$crlf" ] || fail "$bat: $crlf of $lines lines end in CRLF"
done

if [ -f "$zip" ]; then
  echo "== Kavelton.zip"
  zgot=$(unzip -Z1 "$zip" | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
  zwant=$( (echo KAVELTON/; echo KAVELTON/ROM/; for f in $expected; do [ "$f" = ROM ] || echo "KAVELTON/$f"; done) | LC_ALL=C sort | tr '\n' ' ' | sed 's/ $//')
  [ "$zgot" = "$zwant" ] || fail "Kavelton.zip holds: $zgot"
else
  echo "== Kavelton.zip not packed (target package); its check is skipped"
fi

echo "== batch files under Wine"
"$root/tests/wine-prefix.sh" "$KV_WINEPREFIX"
# A folder of its own in C:, so the shared C:\KAVELTON stays as it is.
winstall=$KV_WINEPREFIX/drive_c/kv-batch-test.$$
mkdir -p "$winstall/ROM" "$work/q"
cp "$dir/copybinFile.bat" "$dir/ToUSB.bat" "$winstall/"
printf 'new image 102' > "$winstall/ROM/KV1.102"
printf 'older image 101' > "$winstall/ROM/KV1.101"
mkdir "$winstall/ROM/SUB"
saved_q=$(readlink "$qlink" 2>/dev/null || true)
rm -f "$qlink"
ln -s "$work/q" "$qlink"

reset_drive() {
  rm -rf "$work/q"; mkdir -p "$work/q/BOOT"
  printf 'keep me' > "$work/q/KEEP.TXT"
  printf 'boot' > "$work/q/BOOT/IO.SYS"
  printf 'stale' > "$work/q/KV1.102"
}
snapshot() { (cd "$work/q" && find . -type f -exec md5sum {} + | LC_ALL=C sort); }
# Runs a command line in cmd with the test install folder as current dir;
# prints the exit code.
batch() { (cd "$winstall" && "$run" cmd /c "$1" >"$work/out.txt" 2>&1; echo $?) }

reset_drive
rc=$(batch "copybinFile.bat KV1.102 Q:")
[ "$rc" = 0 ] || fail "copybinFile.bat KV1.102 Q: exit $rc: $(cat "$work/out.txt")"
cmp -s "$work/q/KV1.102" "$winstall/ROM/KV1.102" || fail "Q:\\KV1.102 holds '$(cat "$work/q/KV1.102")'"
[ "$(cat "$work/q/KEEP.TXT")" = "keep me" ] && [ "$(cat "$work/q/BOOT/IO.SYS")" = boot ] || fail "other files on the drive changed"
[ ! -e "$work/q/KV1.101" ] || fail "an image that was not asked for was copied"
[ "$(find "$work/q" -type f | wc -l)" = 3 ] || fail "drive holds: $(cd "$work/q" && find . -type f)"

for cmdline in "copybinFile.bat" "copybinFile.bat KV1.102" "copybinFile.bat NOIMAGE Q:" \
               "copybinFile.bat KV* Q:" "copybinFile.bat KV1.10? Q:" "copybinFile.bat SUB Q:" \
               "copybinFile.bat ..\\kv-batch-test.$$\\ROM\\KV1.101 Q:" "copybinFile.bat KV1.102 Q:\\BOOT\\x" \
               "ToUSB.bat" "ToUSB.bat  Q:" "ToUSB.bat  Q: NOIMAGE" "ToUSB.bat  Q: KV*"; do
  reset_drive
  before=$(snapshot)
  rc=$(batch "$cmdline")
  [ "$rc" != 0 ] || fail "'$cmdline' exit 0: $(cat "$work/out.txt")"
  [ "$(snapshot)" = "$before" ] || fail "'$cmdline' changed the drive: $(snapshot)"
done

reset_drive
rc=$(batch "ToUSB.bat  Q: KV1.101")
[ "$rc" = 0 ] || fail "ToUSB.bat  Q: KV1.101 exit $rc: $(cat "$work/out.txt")"
cmp -s "$work/q/KV1.101" "$winstall/ROM/KV1.101" || fail "Q:\\KV1.101 missing or wrong"
[ "$(cat "$work/q/KV1.102")" = stale ] && [ "$(cat "$work/q/KEEP.TXT")" = "keep me" ] || fail "ToUSB.bat touched other files"
[ "$(find "$work/q" -type f | wc -l)" = 4 ] || fail "drive holds: $(cd "$work/q" && find . -type f)"

if [ "$failures" -ne 0 ]; then echo "$failures check(s) failed" >&2; exit 1; fi
echo "install folder checks passed"
