#!/usr/bin/env bash
# Makes a throwaway certificate authority and a code-signing certificate it
# issued, for builds and tests that have no maker's certificate. Nothing it
# makes may ever sign a release: the keys lie unprotected in the build tree.
# Usage: make_test_ca.sh <folder> <CA name>
# A folder that already holds a complete set is left as it is, so that what
# was signed with it keeps verifying. It then holds:
#   ca.pem            the CA's certificate, the root a verifier trusts
#   ca.sha256         SHA-256 of that certificate (DER), upper-case hex
#   signer-chain.pem  the signer's certificate followed by the CA's
#   signer.key        the signer's private key (no passphrase)
set -euo pipefail
dir=${1:?folder}
name=${2:?CA name}
complete=yes
for f in ca.pem ca.sha256 signer-chain.pem signer.key; do
  [ -s "$dir/$f" ] || complete=no
done
[ $complete = yes ] && exit 0

# Made in a folder beside it and then moved in, so that an interrupted run
# never leaves a half set that would count as made.
tmp=$dir.new.$$
trap 'rm -rf "$tmp"' EXIT
rm -rf "$tmp"
mkdir -p "$tmp"
umask 077
subject="/O=Kavelton test build (not for release)"
openssl req -x509 -newkey rsa:3072 -nodes -sha256 -days 3650 -batch \
  -keyout "$tmp/ca.key" -out "$tmp/ca.pem" -subj "$subject/CN=$name" \
  -addext "basicConstraints=critical,CA:TRUE,pathlen:0" \
  -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -addext "subjectKeyIdentifier=hash" 2>"$tmp/log" || { cat "$tmp/log" >&2; exit 1; }
openssl req -x509 -CA "$tmp/ca.pem" -CAkey "$tmp/ca.key" -newkey rsa:3072 -nodes -sha256 -days 3650 -batch \
  -keyout "$tmp/signer.key" -out "$tmp/signer.pem" -subj "$subject/CN=$name code signing" \
  -addext "basicConstraints=critical,CA:FALSE" \
  -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" \
  -addext "subjectKeyIdentifier=hash" \
  -addext "authorityKeyIdentifier=keyid" 2>"$tmp/log" || { cat "$tmp/log" >&2; exit 1; }
# The CA goes into each signature too, so that a verifier finds the issuer
# without having it installed.
cat "$tmp/signer.pem" "$tmp/ca.pem" >"$tmp/signer-chain.pem"
openssl x509 -in "$tmp/ca.pem" -noout -fingerprint -sha256 | sed 's/.*=//; s/://g' >"$tmp/ca.sha256"
rm -f "$tmp/log"
chmod 644 "$tmp/ca.pem" "$tmp/ca.sha256" "$tmp/signer.pem" "$tmp/signer-chain.pem"
# ca.sha256 goes first and comes back last: a set is complete only once it
# is there again.
mkdir -p "$dir"
rm -f "$dir/ca.sha256"
mv -f "$tmp/ca.key" "$tmp/ca.pem" "$tmp/signer.pem" "$tmp/signer-chain.pem" "$tmp/signer.key" "$dir/"
mv -f "$tmp/ca.sha256" "$dir/"
