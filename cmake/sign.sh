#!/usr/bin/env bash
# Gives FILE (a PE or an MSI) an Authenticode signature, SHA-256, replacing
# any it had. osslsigncode cannot write over its input, so it signs to a
# name beside FILE, which then takes FILE's place.
# Usage: sign.sh <osslsigncode> <osslsigncode sign options...> <FILE>
# The password of an encrypted key or a PKCS#12 file comes from
# KV_SIGN_PASSWORD in the build's environment, read here only: it goes to
# osslsigncode through a pipe, never on a command line or into a file.
set -euo pipefail
[ $# -ge 2 ] || { echo "usage: sign.sh <osslsigncode> [options...] <file>" >&2; exit 2; }
tool=$1
file=${!#}
options=("${@:2:$#-2}")
signed=$file.signing
trap 'rm -f "$signed"' EXIT
rm -f "$signed"
password=()
if [ -n "${KV_SIGN_PASSWORD+set}" ]; then
  exec 3< <(printf '%s' "$KV_SIGN_PASSWORD")
  password=(-readpass /dev/fd/3)
fi
# Its report goes out only when it fails: a build signs many files.
if ! report=$("$tool" sign -h sha256 "${options[@]}" "${password[@]}" -in "$file" -out "$signed" 2>&1) || [ ! -s "$signed" ]; then
  printf '%s\n' "$report" >&2
  echo "sign.sh: could not sign $file" >&2
  exit 1
fi
chmod --reference="$file" "$signed"
mv -f "$signed" "$file"
