#!/usr/bin/env bash
# The main job: the library used through the host program the way the suite's programs use it. The host asks
# the user a question through the library's message page; the user imports a digital ID; the host has a document
# encrypted for that person through the Signer Wizard (SignerWizardOperation); the user decrypts and verifies
# it again in the Signer Wizard, and the decrypted file is compared with the original. Scripts play the user;
# every window and page is written as a PNG.
set -euo pipefail
build=${1:-build}
shots=${KX_SHOTS_DIR:-$build/main-job}
# One folder of screenshots per step; pictures of an earlier run go.
for step in 1-question 2-import 3-encrypt 4-decrypt; do
  mkdir -p "$shots/$step"
  rm -f "$shots/$step"/*.png
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# Everything the job stores (registry, certificate stores, keys, audit log) stays in a state root of its own,
# gone with the run; the files the user sees (the document, its protected and its decrypted copy) stay beside
# the screenshots, where the paths printed below lead.
export KESMORA_ROOT="$work/root"
files="$shots/files"
rm -rf "$files"
mkdir -p "$KESMORA_ROOT" "$files/documents" "$files/protected" "$files/decrypted"
files=$(cd "$files" && pwd)

# Bob's digital ID, made with openssl: an e-mail protection certificate (an end certificate, not an authority)
# and its key in a PFX file.
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -keyout "$work/bob.key" -out "$work/bob.pem" \
  -subj "/CN=Bob Example/emailAddress=bob@example.com" -addext "basicConstraints=critical,CA:FALSE" \
  -addext "keyUsage=digitalSignature,keyEncipherment" -addext "extendedKeyUsage=emailProtection" 2>/dev/null
openssl pkcs12 -export -in "$work/bob.pem" -inkey "$work/bob.key" -out "$work/bob.pfx" -passout pass:bob-secret
# Bob's ID is issued by no authority: the user trusts it directly, in Trusted Roots (a recipient must pass the
# validity check), as the certificate manager's Trusted Roots page keeps it.
roots="$KESMORA_ROOT/user/certstores/root"
mkdir -p "$roots/certs"
thumb=$(openssl x509 -in "$work/bob.pem" -outform DER | sha1sum | cut -c1-40 | tr a-f A-F)
openssl x509 -in "$work/bob.pem" -outform DER -out "$roots/certs/$thumb.der"
echo "$thumb" >> "$roots/index"
# The document: text with a binary tail.
document="$files/documents/report.doc"
{ for i in $(seq 1 2000); do echo "Quarterly report, line $i"; done; head -c 4096 /dev/urandom; } > "$document"
protected="$files/protected/report.doc.Tvx"

cat > "$work/question.kxs" <<'SCRIPT'
wait "Office Tolvex"
screenshot question
answer Yes "Encrypt the quarterly report for Bob?"
SCRIPT

cat > "$work/import.kxs" <<SCRIPT
wait "Certificate Importer"
page 30018
click "Next >"
page 30030
type #1031 "$work/bob.pfx"
type #1218 "bob-secret"
screenshot pfx-file
click "Next >"
answer OK "The certificate has been imported."
page 4250
click "Finish"
gone
SCRIPT

cat > "$work/encrypt.kxs" <<SCRIPT
wait "Signer Wizard"
page 105
expect #1031 "$document"
expect #1032 "$files/protected"
click "Next >"
page 4208
pick #1038 "Triple DES (3-Key)"
expect #1039 "192 bits"
screenshot cipher
click "Next >"
page 4209
click "Add..."
wait "Select Recipients' Digital IDs"
page 4205
pick #1033 "Bob Example"
click #1050
screenshot recipient-chosen
click "OK"
page 4209
untick #1097
click "Next >"
page 4210
expect #1098 "The work is done. Select a file to see its details."
enabled "Encrypt Again"
enabled "Next >"
screenshot encrypted
click "Next >"
page 4250
click "Finish"
gone
SCRIPT

cat > "$work/decrypt.kxs" <<SCRIPT
wait "Signer Wizard"
page 104
click "Decrypt and verify protected files"
click "Next >"
page 105
type #1031 "$protected"
type #1032 "$files/decrypted"
click "Next >"
page 4210
expect #1098 "The work is done. Select a file to see its details."
enabled "Decrypt Again"
enabled "Next >"
screenshot decrypted
click "Next >"
page 4250
click "Finish"
gone
SCRIPT

# kxhost exits with the export's result: 1 is what these exports answer when they ran to their end.
host() {
  local status=0
  # A loaded machine may be slow to show a page: the waits allow a minute.
  "$build/bin/kxhost" --timeout 60000 "$@" || status=$?
  [ "$status" -eq 1 ] || { echo "kxhost $*: ended with $status" >&2; exit 1; }
}

echo "Asking the user through the library's message page:"
host --script "$work/question.kxs" --shots "$shots/1-question" ShowMessageYesNo null s:"Encrypt the quarterly report for Bob?" out:int
echo "Importing Bob's digital ID:"
host --script "$work/import.kxs" --shots "$shots/2-import" DisplayCertificateImporter i:0
echo "Encrypting the report for Bob (SignerWizardOperation, operation 0):"
host --script "$work/encrypt.kxs" --shots "$shots/3-encrypt" SignerWizardOperation null i:0 s:"$document" s:"$files/protected" \
  out:cstring out:cstring | tee "$work/encrypt.out"
grep -qF "$protected" "$work/encrypt.out" || { echo "the host was not given the protected file's path" >&2; exit 1; }
[ -s "$protected" ] || { echo "no protected file was written" >&2; exit 1; }
# The second string is the run's result text: a warning the run left, and none when it ended without one.
[ -n "$(sed -n 's/^out 6: //p' "$work/encrypt.out")" ] || echo "(The run left no result text: it ended without a warning.)"
if cmp -s "$document" "$protected"; then echo "the protected file is the document itself" >&2; exit 1; fi
echo "Decrypting and verifying it in the Signer Wizard:"
host --script "$work/decrypt.kxs" --shots "$shots/4-decrypt" DisplaySignerWizard null
cmp "$document" "$files/decrypted/report.doc"
echo "The decrypted report equals the original ($(wc -c < "$document") bytes)."
echo "Screenshots of every window and page: $shots"
echo "The document, its protected and its decrypted copy: $files"
