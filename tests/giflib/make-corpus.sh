#!/usr/bin/env bash
# Generates the GIF corpus of the giflib cross-check with ImageMagick: several
# palette sizes, global and local tables, interlacing, transparency, animations
# with every disposal method, looping extensions 0, 1 and 2, and frames placed
# away from the screen's origin.
#   tests/giflib/make-corpus.sh OUTDIR
set -euo pipefail
out="$1"
mkdir -p "$out"
rm -f "$out"/*.gif
cd "$out"
im() { convert "$@"; }

# Still pictures: palettes of 2, 16 and 256 colours, plain and interlaced.
im -size 41x29 plasma:red-blue -seed 3 -colors 2 palette-2.gif
im -size 64x48 -seed 4 plasma:fractal -colors 16 palette-16.gif
im -size 97x61 -seed 5 plasma:fractal -colors 256 palette-256.gif
im -size 97x61 -seed 5 plasma:fractal -colors 256 -interlace GIF interlaced-256.gif
im -size 33x70 -seed 6 plasma:fractal -colors 16 -interlace GIF interlaced-16.gif
im -size 3x11 -seed 7 plasma:fractal -colors 4 -interlace GIF interlaced-tiny.gif
im -size 87x3000 -seed 8 plasma:fractal -colors 64 progress-rows.gif

# Transparency: white becomes transparent.
im -size 50x40 xc:white -fill navy -draw "circle 25,20 25,5" -fill orange -draw "rectangle 2,2 12,12" \
  -transparent white transparent.gif
im -size 50x40 xc:white -fill navy -draw "circle 25,20 25,5" -transparent white -interlace GIF \
  transparent-interlaced.gif

# Animations: one per disposal method, with frames off the origin and
# transparent frames (ImageMagick: Undefined 0, None 1, Background 2, Previous 3).
for disposal in Undefined None Background Previous; do
  im -delay 7 -dispose "$disposal" -loop 0 \
    -page 60x45+0+0 \( -size 60x45 -seed 9 plasma:fractal -colors 32 \) \
    -page +10+5 \( -size 20x15 xc:red -fill white -draw "rectangle 5,5 14,9" -transparent white \) \
    -page +30+20 \( -size 25x20 xc:lime -fill blue -draw "circle 12,10 12,3" \) \
    -page +3+31 \( -size 40x12 xc:none -fill magenta -draw "rectangle 4,2 30,9" \) \
    -page +0+0 \( -size 60x45 xc:none -fill black -draw "line 0,0 59,44" \) \
    "anim-$(echo "$disposal" | tr 'A-Z' 'a-z').gif"
done
# Mixed disposals in one file, a transparent first frame, local colour tables.
im -delay 3 -loop 2 -page 40x40+0+0 \( -size 40x40 xc:none -fill yellow -draw "circle 20,20 20,5" \) \
  -dispose Previous -page +5+5 \( -size 10x10 xc:blue \) \
  -dispose Background -page +20+20 \( -size 15x15 -seed 10 plasma:fractal -colors 200 \) \
  -dispose None -page +1+30 \( -size 30x8 xc:green \) \
  mixed.gif

# Looping extensions with the values 0, 1 and 2, and none, on a two-frame
# animation (ImageMagick writes -loop n as n - 1, and no extension for 1).
for value in 0 1 2 none; do
  case "$value" in 0) loop=0 ;; none) loop=1 ;; *) loop=$((value + 1)) ;; esac
  im -delay 20 -loop "$loop" -size 16x16 xc:red -size 16x16 xc:blue "loop-extension-$value.gif"
done
# Frames placed off the origin on a screen that does not hold them.
im -delay 5 -page 20x20+0+0 -size 20x20 xc:gray -page +15+12 -size 12x9 xc:purple -set page 20x20 offscreen.gif
ls "$out" | wc -l
