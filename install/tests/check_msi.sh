#!/usr/bin/env bash
# Installs the older package, upgrades to the current one, starts the
# program, and removes it again, under Wine in a prefix of the test's own;
# checks the package's tables and that the user's files outlive it all.
# Usage: check_msi.sh <Kavelton.msi> <older Kavelton.msi> <prefix folder>
set -euo pipefail
msi=$(realpath "${1:?package}")
older=$(realpath "${2:?older package}")
export WINEPREFIX=$(realpath -m "${3:?prefix folder}")
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# Wine derives access lists from the mode bits: files the installer and this
# script make must not be writable by others, or the program refuses them.
umask 022

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
work=$(mktemp -d)
trap 'wineserver -k 2>/dev/null || true; rm -rf "$work"' EXIT
# Wine's installer writes the package's icon into the current folder.
cd "$work"

shipped=(BIOS.dll Kavelton.exe Sectorkit.dll ToUSB.bat UsbScan.dll copybinFile.bat fdd.imz)

echo "== package tables"
msiinfo export "$msi" File | tail -n +4 | cut -f3 | sed 's/.*|//' | sort >"$work/files"
[ "$(cat "$work/files")" = "$(printf '%s\n' "${shipped[@]}" | sort)" ] ||
  fail "packed files: $(tr '\n' ' ' <"$work/files")"
msiinfo export "$msi" Property | tr -d '\r' >"$work/props"
for want in 'ROOTDRIVE	C:\' 'ALLUSERS	1' 'ARPPRODUCTICON	Kavelton.ico' 'Manufacturer	Kavelton'; do
  grep -qxF "$want" "$work/props" || fail "property missing: $want"
done
msiinfo export "$msi" Shortcut | tail -n +4 | cut -f2,3 | grep -qxF 'ProgramMenuFolder	Kavelton' ||
  fail "no Start-menu shortcut named Kavelton"
msiinfo export "$msi" Icon | grep -q '^Kavelton.ico' || fail "no icon in the package"
# Wine's installer ignores the lock: the table is checked by its column names,
# as Windows Installer reads it, and Administrators own both folders.
lock='O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
msiinfo export "$msi" MsiLockPermissionsEx | tr -d '\r' >"$work/lock"
[ "$(head -n 1 "$work/lock")" = "MsiLockPermissionsEx	LockObject	Table	SDDLText	Condition" ] &&
  [ "$(tail -n +4 "$work/lock" | sort)" = "$(printf 'LockInstallFolder\tInstallDir\tCreateFolder\t%s\t\nLockRomFolder\tRomDir\tCreateFolder\t%s\t' "$lock" "$lock")" ] ||
  fail "folder lock: $(cat "$work/lock")"
[ "$(msiinfo export "$msi" CreateFolder | tr -d '\r' | grep -cx 'InstallDir	Program\|RomDir	RomFolder')" = 2 ] || fail "no CreateFolder rows"
# A directory id without a lower-case letter is a public property.
public=$(msiinfo export "$msi" Directory | tr -d '\r' | tail -n +4 | cut -f1 | grep -v '[a-z]' | grep -vx TARGETDIR || true)
[ -z "$public" ] || fail "public directory ids: $public"
msiinfo export "$msi" Registry | tr -d '\r' | cut -f2- | sort >"$work/registry"
printf '%s\n' \
  '2	SYSTEM\CurrentControlSet\Services\EventLog\Application\Kavelton\	EventMessageFile	C:\KAVELTON\Kavelton.exe	EventSource' \
  '2	SYSTEM\CurrentControlSet\Services\EventLog\Application\Kavelton\	TypesSupported	#7	EventSource' >"$work/want-registry"
grep -qxFf "$work/want-registry" "$work/registry" && [ "$(grep -cxFf "$work/want-registry" "$work/registry")" = 2 ] ||
  fail "event source: $(cat "$work/registry")"

# A fresh prefix each run: a package left installed by an earlier run would
# make the upgrade step prove nothing.
rm -rf "$WINEPREFIX"
"$here/../../tests/wine-prefix.sh" "$WINEPREFIX"
k=$WINEPREFIX/drive_c/KAVELTON
winpath() { echo "Z:${1//\//\\}"; }
uninstall_entries() {
  wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s 2>/dev/null | tr -d '\r' >"$work/arp"
  grep -c 'DisplayName    REG_SZ    Kavelton$' "$work/arp" || true
}
arp_value() { grep -m1 "^    $1 " "$work/arp" | sed 's/.*REG_[A-Z_]*    //'; }
# The file version in an exe's version resource, read after the signature of
# its fixed part (VS_FIXEDFILEINFO).
file_version() {
  python3 -c 'import struct, sys; d = open(sys.argv[1], "rb").read(); ms, ls = struct.unpack_from("<II", d, d.index(b"\xbd\x04\xef\xfe") + 8); print(f"{ms >> 16}.{ms & 65535}.{ls >> 16}.{ls & 65535}")' "$1"
}

echo "== install the older build"
wine msiexec /i "$(winpath "$older")" /qn || fail "older install returned $?"
[ -f "$k/Kavelton.exe" ] || fail "older install: no Kavelton.exe"
[ "$(file_version "$k/Kavelton.exe")" = 0.9.0.0 ] || fail "older install: Kavelton.exe $(file_version "$k/Kavelton.exe")"
[ "$(uninstall_entries)" = 1 ] && [ "$(arp_value DisplayVersion)" = 0.9.0 ] ||
  fail "older install: uninstall entry $(arp_value DisplayVersion)"

# What the vendor and the user put next to the program.
mkdir -p "$k/ROM"
printf 'image' >"$k/ROM/KVB.100"
printf 'SystemID:Base\r\n' >"$k/System.txt"
printf 'sums' >"$k/SHA256SUMS"
printf 'log' >"$k/Kavelton.log"
user_files=(ROM/KVB.100 System.txt SHA256SUMS Kavelton.log)

echo "== upgrade, asked to move the folder"
wine msiexec /i "$(winpath "$msi")" /qn 'TARGETDIR=C:\MOVED\' 'INSTALLDIR=C:\MOVED\' 'ROMDIR=C:\MOVEDROM\' || fail "upgrade returned $?"
[ ! -e "$WINEPREFIX/drive_c/MOVED" ] && [ ! -e "$WINEPREFIX/drive_c/MOVEDROM" ] || fail "the command line moved a folder"
n=$(uninstall_entries)
[ "$n" = 1 ] || fail "upgrade: $n uninstall entries for Kavelton"
[ "$(arp_value DisplayVersion)" != 0.9.0 ] || fail "upgrade: still version 0.9.0"
[ "$(arp_value Publisher)" = Kavelton ] || fail "upgrade: publisher $(arp_value Publisher)"
for f in "${shipped[@]}"; do
  [ -f "$k/$f" ] || fail "upgrade: $f missing"
done
msiextract -C "$work/new" "$msi" >/dev/null
cmp -s "$k/Kavelton.exe" "$(find "$work/new" -name Kavelton.exe)" || fail "upgrade: Kavelton.exe is not the new one"
version=$(msiinfo export "$msi" Property | tr -d '\r' | sed -n 's/^ProductVersion\t//p')
[ "$(file_version "$k/Kavelton.exe")" = "$version.0" ] || fail "upgrade: Kavelton.exe $(file_version "$k/Kavelton.exe"), package $version"
for f in "${user_files[@]}"; do
  [ -f "$k/$f" ] || fail "upgrade lost the user's $f"
done
lnk=$(find "$WINEPREFIX/drive_c" -name Kavelton.lnk -path '*Start Menu*' -print -quit)
[ -n "$lnk" ] || fail "no Start-menu shortcut"

echo "== the program starts"
(cd "$k" && wine Kavelton.exe >/dev/null 2>&1) &
started=0
for _ in $(seq 100); do
  sleep 0.2
  if xwininfo -root -tree 2>/dev/null | grep -q '"Kavelton": ('; then started=1; break; fi
done
[ $started = 1 ] || fail "the installed Kavelton.exe opened no window"
wineserver -k 2>/dev/null || true
wait || true

echo "== uninstall"
wine msiexec /x "$(winpath "$msi")" /qn || fail "uninstall returned $?"
for f in "${shipped[@]}"; do
  [ ! -e "$k/$f" ] || fail "uninstall left $f"
done
for f in "${user_files[@]}"; do
  [ -f "$k/$f" ] || fail "uninstall removed the user's $f"
done
[ "$(uninstall_entries)" = 0 ] || fail "uninstall left the uninstall entry"
[ -z "$(find "$WINEPREFIX/drive_c" -name Kavelton.lnk -path '*Start Menu*' -print -quit)" ] ||
  fail "uninstall left the shortcut"

[ $failures = 0 ] && echo "msi: all checks passed"
exit $((failures > 0))
