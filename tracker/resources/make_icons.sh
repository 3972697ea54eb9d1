#!/usr/bin/env bash
# Draws the tracker's three icons (16, 20, 24, 32 and 48 pixels each, for every display scale) with ImageMagick;
# the .ico files are committed.
set -euo pipefail
cd "$(dirname "$0")"
draw() {  # name, drawing commands for a 32x32 canvas
  local name=$1; shift
  # Drawn three times as large and shrunk to each size, so that no size is an enlargement of another.
  convert -size 96x96 xc:none -affine 3,0,0,3,0,0 "$@" -define icon:auto-resize=48,32,24,20,16 "$name"
}
# The program: a record sheet with a rising bar chart.
draw corvenka.ico -fill '#2b5fa8' -draw 'roundrectangle 1,1 30,30 6,6' \
  -fill white -draw 'rectangle 6,20 10,26' -draw 'rectangle 14,13 18,26' -draw 'rectangle 22,6 26,26'
# Game attached: a bright green disc with a white tick.
draw attached.ico -fill '#1f9d3a' -stroke '#0d5a1f' -strokewidth 2 -draw 'circle 16,16 16,2' \
  -fill none -stroke white -strokewidth 4 -draw 'polyline 8,16 14,23 24,9'
# No game: a hollow grey ring with a red bar across.
draw detached.ico -fill '#d8d8d8' -stroke '#6b6b6b' -strokewidth 3 -draw 'circle 16,16 16,3' \
  -stroke '#c62828' -strokewidth 4 -draw 'line 7,25 25,7'
