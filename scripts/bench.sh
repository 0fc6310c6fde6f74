#!/usr/bin/env bash
# Start-up time of Kavelton against two floors, measured side by side in one
# run under Wine: a minimal Win32 program making the same BIOS.dll calls, and
# a bare one building Kavelton's own start-up windows with plain Win32 calls
# (what the form framework costs). Then the diskette read-back's cost as a
# ratio to the copy, and the sizes of the shipped binaries.
set -euo pipefail
. "$(dirname "$0")/lib.sh"
"$root/scripts/setup.sh"
build_win --target install_folder minimal_window bare_windows kv_startup_bench kv_startup_parts verify_bench
ensure_display
prefix=$root/build/bench-prefix
export KV_WINEPREFIX=$prefix WINEPREFIX=$prefix
"$root/tests/wine-prefix.sh" "$prefix"
k=$prefix/drive_c/KAVELTON
rm -rf "$k" && mkdir -p "$k"
cp -r "$win_build/KAVELTON/." "$k/"
cp "$win_build/tests/bench/minimal_window.exe" "$win_build/tests/bench/bare_windows.exe" "$k/"
# A board that matches, so no box interrupts the start.
printf 'SystemID:Base\r\n' > "$k/System.txt"
# Ten images, the most the catalogue shows: the folder check judges them all.
mkdir -p "$k/ROM" && for n in 0 1 2 3 4 5 6 7 8 9; do printf 'x' > "$k/ROM/KVB.10$n"; done
cp "$win_build/tests/bench/kv_startup_parts.exe" "$k/"
# The pieces first: the start-up ratio is judged without the folder check,
# which has a budget of its own, and without the signature checks (Wine's
# chain engine starting; Windows is far cheaper).
parts=$("$root/tests/wine-run.sh" "$k/kv_startup_parts.exe" "${1:-10}")
grep -v '^folder-check-ms ' <<<"$parts"
folder_ms=$(sed -n 's/^folder-check-ms //p' <<<"$parts")
signature_ms=$(sed -n 's/^signature-check-ms //p' <<<"$parts")
excluded_ms=$(awk -v a="${folder_ms:-0}" -v b="${signature_ms:-0}" 'BEGIN { printf "%.3f", a + b }')
"$root/tests/wine-run.sh" "$win_build/tests/bench/kv_startup_bench.exe" "${1:-10}" "$excluded_ms"

# The diskette read-back against the copy it checks, on an image file as A:.
media=$root/build/bench-media
mkdir -p "$media" && truncate -s 1474560 "$media/a.img"
rm -f "$prefix/dosdevices/a::" && ln -s "$media/a.img" "$prefix/dosdevices/a::"
"$root/tests/wine-run.sh" "$win_build/tests/bench/verify_bench.exe" "${1:-10}"
rm -f "$prefix/dosdevices/a::"

echo "binary sizes (goal: Kavelton.exe at most 1 MiB = 1048576 bytes):"
for f in Kavelton.exe BIOS.dll UsbScan.dll Sectorkit.dll; do
  printf '  %-14s %8d bytes\n' "$f" "$(stat -c %s "$win_build/KAVELTON/$f")"
done
wineserver -k 2>/dev/null || true
