#!/usr/bin/env bash
# The main job: the library used through the host program the way the suite's programs use it. The host asks
# the user a question through the library's message page, then opens the Signer Wizard, which the user
# cancels. A script plays the user; every window and page is written as a PNG.
set -euo pipefail
build=${1:-build}
shots=${KX_SHOTS_DIR:-$build/main-job}
mkdir -p "$shots"
scripts=$(mktemp -d)
trap 'rm -rf "$scripts"' EXIT

cat > "$scripts/question.kxs" <<'SCRIPT'
wait "Office Tolvex"
screenshot question
answer Yes "Open the Signer Wizard now?"
SCRIPT

cat > "$scripts/wizard.kxs" <<'SCRIPT'
wait "Signer Wizard"
page 104
expect #1037 "Welcome to the Signer Wizard"
screenshot signer-wizard
click Cancel
answer Yes
gone
SCRIPT

# kxhost exits with the export's result: 1 is what both exports answer here.
host() {
  local status=0
  "$build/bin/kxhost" "$@" || status=$?
  [ "$status" -eq 1 ] || { echo "kxhost $*: ended with $status" >&2; exit 1; }
}

echo "Asking the user through the library's message page:"
host --script "$scripts/question.kxs" --shots "$shots" ShowMessageYesNo null s:"Open the Signer Wizard now?" out:int
echo "Opening the Signer Wizard:"
host --script "$scripts/wizard.kxs" --shots "$shots" DisplaySignerWizard null
echo "Screenshots of every window and page: $shots"
