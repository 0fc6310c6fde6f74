#!/usr/bin/env bash
# Every signed file verifies (SHA-256) against the roots the build trusts,
# and no longer does against another CA; a copy of the program with a byte
# changed inside a section, and a copy of the package with a changed table,
# fail on their digest.
# Usage: check_signatures.sh <osslsigncode> <CA file> <Kavelton.exe> <Kavelton.msi> [other signed files...]
set -euo pipefail
tool=${1:?osslsigncode}
cafile=${2:?CA file}
exe=${3:?program}
msi=${4:?package}
shift 2
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
# osslsigncode's exit code, with its report in $work/report.
verify() { "$tool" verify -CAfile "$1" -in "$2" >"$work/report" 2>&1; }

echo "== every file verifies"
for file in "$@"; do
  if ! verify "$cafile" "$file"; then
    fail "$(basename "$file"): $(tail -n 3 "$work/report" | tr '\n' ' ')"
  elif ! grep -q '^Message digest algorithm *: SHA256' "$work/report"; then
    fail "$(basename "$file") is not signed with SHA-256"
  fi
done

echo "== another CA is not trusted"
"$here/../../cmake/make_test_ca.sh" "$work/other-ca" "Unlisted Test CA"
verify "$work/other-ca/ca.pem" "$exe" && fail "$(basename "$exe") verifies against an unrelated CA"

echo "== a byte changed inside a section"
python3 "$here/../../tests/flasher/change_section.py" "$exe" "$work/changed.exe"
cmp -s "$exe" "$work/changed.exe" && fail "the copy of $(basename "$exe") was not changed"
if verify "$cafile" "$work/changed.exe"; then
  fail "$(basename "$exe") with a changed section still verifies"
elif ! grep -q '^Calculated message digest .*MISMATCH' "$work/report"; then
  fail "changed $(basename "$exe") failed for another reason: $(tail -n 3 "$work/report" | tr '\n' ' ')"
fi

echo "== a changed table"
cp "$msi" "$work/changed.msi"
msibuild "$work/changed.msi" -q "UPDATE Property SET Value = 'Someone else' WHERE Property = 'Manufacturer'"
msiinfo export "$work/changed.msi" Property >"$work/properties"
grep -q $'^Manufacturer\tSomeone else' "$work/properties" || fail "the copy of $(basename "$msi") was not changed"
if verify "$cafile" "$work/changed.msi"; then
  fail "$(basename "$msi") with a changed table still verifies"
elif ! grep -q '^Calculated DigitalSignature .*MISMATCH' "$work/report"; then
  fail "changed $(basename "$msi") failed for another reason: $(tail -n 3 "$work/report" | tr '\n' ' ')"
fi

if [ $failures -ne 0 ]; then
  echo "$failures failure(s)"
  exit 1
fi
echo "all signatures ok"
