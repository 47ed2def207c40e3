#!/usr/bin/env bash
# Seeds for fuzz/gif_decoder.cpp: the giflib cross-check's ImageMagick corpus
# and the donate button's own picture.
#   fuzz/gif_decoder.seeds.sh OUTDIR
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
"$repo/tests/giflib/make-corpus.sh" "$1"
python3 - "$repo/scripts/make-donate-picture.py" "$1/donate.gif" <<'PY'
import importlib.util, sys
spec = importlib.util.spec_from_file_location("donate", sys.argv[1])
donate = importlib.util.module_from_spec(spec)
spec.loader.exec_module(donate)
open(sys.argv[2], "wb").write(donate.gif())
PY
