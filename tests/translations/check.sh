#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Fails while a translation of the window lags behind the window's sources:
# lupdate, run over ui/ into a scratch copy of each translations/*.ts, must
# leave no text untranslated (new in the sources, or never translated) and
# none the sources no longer hold. `ninja update_translations` brings the
# files up to date; the new texts then want translating.
# Usage: tests/translations/check.sh LUPDATE SOURCE_DIR
set -euo pipefail
lupdate=$1
src=$(realpath "$2")
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

status=0
found=0
for ts in "$src"/translations/*.ts; do
  [ -e "$ts" ] || continue
  found=1
  copy="$scratch/$(basename "$ts")"
  cp "$ts" "$copy"
  "$lupdate" -silent -locations none -I "$src" "$src/ui" -ts "$copy"
  # One record per message; the texts whose translation is not final.
  lagging=$(awk 'BEGIN { RS = "</message>" }
    /<translation type="(unfinished|vanished|obsolete)"/ {
      state = $0; sub(/.*<translation type="/, "", state); sub(/".*/, "", state)
      text = $0; sub(/.*<source>/, "", text); sub(/<\/source>.*/, "", text)
      gsub(/\n/, "\\n", text)
      printf "  %-10s %s\n", state, text
    }' "$copy")
  if [ -n "$lagging" ]; then
    echo "$(basename "$ts") lags behind the sources (ninja update_translations, then translate):"
    echo "$lagging"
    status=1
  else
    echo "$(basename "$ts"): every text of the window translated"
  fi
done
[ $found = 1 ] || { echo "no translations/*.ts in $src" >&2; exit 1; }
exit $status
