#!/usr/bin/env bash
# Brings the translation files up to date with the texts in the source (lupdate): the template
# every new language starts from, and French.
# Run after changing a text shown to users; the test run fails while a text has no French.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
lupdate=$(command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
cd "$repo"
for ts in translations/calvenor_photo_sorter.ts translations/calvenor_photo_sorter_fr.ts; do
    "$lupdate" -silent -no-obsolete -locations none -extensions cpp,h src -ts "$ts"
done
