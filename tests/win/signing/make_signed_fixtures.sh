#!/usr/bin/env bash
# Makes a throw-away certificate authority, three code-signing identities
# with the digests of their keys, and signed, look-alike and tampered copies
# of a test installer.
# Usage: make_signed_fixtures.sh OUTDIR INSTALLER_EXE
set -euo pipefail
out=$1 installer=$2
mkdir -p "$out"
cd "$out"
rm -f ./*.pem ./*.der ./*.exe ./*.srl ./*.cnf ./*.sha256

cat > ext.cnf <<'CNF'
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
CNF

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }

quiet openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=TAV Test Root CA" \
  -keyout ca.key.pem -out ca.pem -addext "basicConstraints=critical,CA:true" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
quiet openssl x509 -in ca.pem -outform DER -out ca.der

# publisher: the genuine signer; lookalike: same subject, another key;
# other: another publisher under the same authority.
issue() {
  local name=$1 subject=$2
  quiet openssl req -newkey rsa:2048 -nodes -subj "$subject" -keyout "$name.key.pem" -out "$name.csr.pem"
  quiet openssl x509 -req -in "$name.csr.pem" -CA ca.pem -CAkey ca.key.pem -CAcreateserial -days 3650 \
    -extfile ext.cnf -extensions signer -out "$name.pem"
}
issue publisher "/CN=TAV Test Publisher/O=TAV Test"
issue lookalike "/CN=TAV Test Publisher/O=TAV Test"
issue other "/CN=Other Test Publisher/O=Elsewhere"
# The digests a build pins: SHA-256 of each signer's SubjectPublicKeyInfo.
for name in publisher lookalike other; do
  openssl x509 -in "$name.pem" -pubkey -noout | openssl pkey -pubin -outform DER |
    sha256sum | cut -d' ' -f1 > "$name.spki.sha256"
done

sign() {
  local name=$1 in=$2 outFile=$3
  quiet osslsigncode sign -certs "$name.pem" -ac ca.pem -key "$name.key.pem" -h sha256 -n "TAV test" \
    -in "$in" -out "$outFile"
}
sign publisher "$installer" installer_publisher.exe
sign lookalike "$installer" installer_lookalike.exe
sign other "$installer" installer_other.exe
cp "$installer" installer_unsigned.exe

# One byte flipped inside the signed code, well away from the signature.
cp installer_publisher.exe installer_tampered.exe
size=$(stat -c %s installer_tampered.exe)
offset=$((size / 3))
byte=$(od -An -tu1 -j "$offset" -N1 installer_tampered.exe | tr -d ' ')
printf "$(printf '\\%03o' $(((byte + 1) % 256)))" |
  dd of=installer_tampered.exe bs=1 seek="$offset" conv=notrunc status=none
# The signature cut short: the headers still declare the whole table.
head -c "$((size - 64))" installer_publisher.exe > installer_truncated.exe
rm -f ./*.csr.pem ./*.srl
