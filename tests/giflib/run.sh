#!/usr/bin/env bash
# Makes the corpus and checks every file of it, and any committed fuzz seeds, against giflib.
#   tests/giflib/run.sh CHECK_PROGRAM CORPUS_DIR
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
"$here/make-corpus.sh" "$2" >/dev/null
shopt -s nullglob
seeds=("$here"/../../fuzz/*.seeds/*.gif)
exec "$1" "$2"/*.gif "${seeds[@]}"
