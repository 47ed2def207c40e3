#!/usr/bin/env bash
# Seeds for fuzz/server_thumbnail.cpp: small JPEGs of every kind libjpeg reads
# (baseline, progressive, grey, CMYK, odd sizes, restart markers).
#   fuzz/server_thumbnail.seeds.sh OUTDIR
set -euo pipefail
cd "$1"
convert -size 96x64 gradient:navy-gold -quality 80 baseline.jpg
convert -size 120x90 plasma:fractal -interlace JPEG progressive.jpg
convert -size 500x30 gradient:black-white -colorspace Gray grey.jpg
convert -size 64x64 gradient:red-blue -colorspace CMYK cmyk.jpg
convert -size 1x700 gradient: tall.jpg
convert -size 33x17 plasma: -sampling-factor 2x2 -define jpeg:restart-interval=1 restarts.jpg
