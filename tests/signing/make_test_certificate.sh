#!/usr/bin/env bash
# Makes a throwaway certificate authority and a code-signing certificate issued by it, for
# the signing tests only: OUTDIR/ca.pem, OUTDIR/signer.p12 and its OUTDIR/password.
set -euo pipefail
out=$1
mkdir -p "$out"
cd "$out"
subject="/C=CN/O=Pre-install test signing"
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 3650 -subj "$subject CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign,cRLSign 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signer.key -out signer.csr -subj "$subject/CN=Test signer" 2>/dev/null
printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signer.pem -days 3650 \
  -extfile signer.ext 2>/dev/null
head -c 18 /dev/urandom | base64 >password
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -out signer.p12 -passout file:password
rm -f ca.key signer.key signer.csr signer.ext ca.srl
