#!/usr/bin/env bash
# Every shipped binary must run on a bare Windows: it may import only DLLs
# that Windows itself provides, never MinGW's runtime DLLs.
set -euo pipefail
allowed='^(kernel32|user32|gdi32|comctl32|comdlg32|shell32|advapi32|msimg32|ole32|oleaut32|msvcrt|ws2_32|bcrypt|wintrust|crypt32|version|shlwapi|uxtheme|api-ms-win-.*)\.dll$'
status=0
for bin in "$@"; do
  if [ ! -f "$bin" ]; then echo "FAIL $bin: missing"; status=1; continue; fi
  dlls=$(x86_64-w64-mingw32-objdump -p "$bin" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
  bad=$(echo "$dlls" | grep -v -E "$allowed" || true)
  if [ -n "$bad" ]; then
    echo "FAIL $(basename "$bin") imports non-system DLLs: $(echo $bad)"
    status=1
  else
    echo "ok   $(basename "$bin"): $(echo $dlls)"
  fi
done
exit $status
