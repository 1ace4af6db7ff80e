#!/usr/bin/env bash
# Makes a throw-away certificate authority with its revocation list,
# code-signing identities with the digests of their keys, and signed,
# look-alike, revoked and tampered copies of a test installer.
# Usage: make_signed_fixtures.sh OUTDIR INSTALLER_EXE CRL_PORT
# The signers name http://127.0.0.1:CRL_PORT/<token>/ca.crl as their
# revocation list (crl_server.py serves OUTDIR/crl there while the tests run);
# the token is new with every authority, so that a list a verifier cached
# for an earlier one is never taken for this one's.
set -euo pipefail
out=$1 installer=$2 crlPort=$3
mkdir -p "$out"
cd "$out"
rm -rf ./*.pem ./*.der ./*.p12 ./*.exe ./*.srl ./*.cnf ./*.sha256 ./crl ./ca-db ./crl-token
token=$(openssl rand -hex 8)
echo "$token" > crl-token
crlUrl="http://127.0.0.1:$crlPort/$token/ca.crl"

cat > ext.cnf <<CNF
[signer]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
crlDistributionPoints = URI:$crlUrl
# A list the server does not have: the revocation cannot be checked.
[unchecked]
basicConstraints = critical, CA:false
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
crlDistributionPoints = URI:http://127.0.0.1:$crlPort/$token/missing.crl
CNF
mkdir ca-db
touch ca-db/index.txt
echo 1000 > ca-db/crlnumber
cat > ca.cnf <<'CNF'
[ca]
default_ca = test_ca
[test_ca]
database = ca-db/index.txt
crlnumber = ca-db/crlnumber
certificate = ca.pem
private_key = ca.key.pem
default_md = sha256
default_crl_days = 3650
CNF

quiet() { "$@" >/dev/null 2>&1 || { echo "failed: $*" >&2; "$@"; exit 1; }; }

quiet openssl req -x509 -newkey rsa:2048 -nodes -days 3650 -subj "/CN=TAV Test Root CA" \
  -keyout ca.key.pem -out ca.pem -addext "basicConstraints=critical,CA:true" \
  -addext "keyUsage=critical,keyCertSign,cRLSign"
quiet openssl x509 -in ca.pem -outform DER -out ca.der

# publisher: the genuine signer; lookalike: same subject, another key;
# other: another publisher under the same authority; revoked: an earlier
# certificate of the publisher's own key, revoked since; unchecked: the
# publisher's key again, under a list nobody serves.
issue() {
  local name=$1 subject=$2 key=${3:-} extensions=${4:-signer}
  if [ -n "$key" ]; then
    quiet openssl req -new -key "$key.key.pem" -subj "$subject" -out "$name.csr.pem"
    cp "$key.key.pem" "$name.key.pem"
  else
    quiet openssl req -newkey rsa:2048 -nodes -subj "$subject" -keyout "$name.key.pem" -out "$name.csr.pem"
  fi
  quiet openssl x509 -req -in "$name.csr.pem" -CA ca.pem -CAkey ca.key.pem -CAcreateserial -days 3650 \
    -extfile ext.cnf -extensions "$extensions" -out "$name.pem"
}
issue publisher "/CN=TAV Test Publisher/O=TAV Test"
issue lookalike "/CN=TAV Test Publisher/O=TAV Test"
issue other "/CN=Other Test Publisher/O=Elsewhere"
issue revoked "/CN=TAV Test Publisher/O=TAV Test" publisher
issue unchecked "/CN=TAV Test Publisher/O=TAV Test" publisher unchecked
quiet openssl ca -config ca.cnf -revoke revoked.pem -crl_reason keyCompromise
mkdir -p "crl/$token"
quiet openssl ca -config ca.cnf -gencrl -out "crl/$token/ca.crl"
openssl crl -in "crl/$token/ca.crl" -outform DER -out "crl/$token/ca.crl.der"
mv "crl/$token/ca.crl.der" "crl/$token/ca.crl"
# The same list in PEM, for osslsigncode's -CRLfile.
openssl crl -inform DER -in "crl/$token/ca.crl" -out ca.crl.pem
# The publisher's certificate and key in one PKCS#12 file, as some
# publishers keep them (the release's signing takes either).
quiet openssl pkcs12 -export -in publisher.pem -inkey publisher.key.pem -out publisher.p12 \
  -passout pass:tav-test-p12
# The digests a build pins: SHA-256 of each signer's SubjectPublicKeyInfo.
for name in publisher lookalike other revoked unchecked; do
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
sign revoked "$installer" installer_revoked.exe
sign unchecked "$installer" installer_unchecked.exe
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
