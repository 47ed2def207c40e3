#!/usr/bin/env bash
# Seeds for fuzz/settings_values.cpp: a stored text followed by four bytes
# that the target reads as a number (a colour, a shortcut, a seed).
#   fuzz/settings_values.seeds.sh OUTDIR
set -euo pipefail
cd "$1"
n=0
seed() { n=$((n + 1)); printf '%s\x23\x40\x00\x80' "$1" >"value-$n"; }
for text in clRed clBlack clNone clInfoBk cl3DDkShadow '$00FF8000' '$80000005' '$FFFFFFFF' '0x1F' \
  16419 -32768 65535 2147483647 -2147483648 2147483648 '-$80000000' 3 '' abc ' 7' '+5' true \
  'anna@example.org' 'Passwort mit ~ und Ümlaut'; do
  seed "$text"
done
