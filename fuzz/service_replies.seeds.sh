#!/usr/bin/env bash
# Seeds for fuzz/service_replies.cpp: the replies the service gives and their near misses.
#   fuzz/service_replies.seeds.sh OUTDIR
set -euo pipefail
cd "$1"
n=0
seed() { n=$((n + 1)); printf '%s' "$1" >"reply-$n"; }
seed "ok|4.2|http://127.0.0.1:18080/a2b3c4d5"
seed "ok|4.1|http://127.0.0.1:18080/Urlaub_2024"
seed "ok||http://127.0.0.1:18080/x"
seed "okay|4.20|http://shots.example.org/name|with|bars"
seed "ok|4.2"
seed "ok|"
seed "ok"
seed "|"
seed "||"
seed "   |"
seed "toobig"
seed "toobig "
seed "wrongsession"
seed "Fehler: kein Bild"
seed "http://127.0.0.1:18080/Neuer_Name"
seed "HTTP://127.0.0.1:18080/Neuer_Name"
seed "https://shots.example.org/Neuer_Name"
seed "ok  Runde-7"
seed "ok Runde-7"
seed "invalidname"
seed "wrong"
printf 'ok|4.2|http://h\xe4user/\xdf\r\n\x00' >"reply-binary"
