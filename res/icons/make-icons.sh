#!/bin/sh
# Renders the icon's PNG sizes from qenboxclient.svg (ImageMagick). The build
# uses the committed PNGs; run this after changing the drawing.
set -eu
cd "$(dirname "$0")"
for size in 16 32 48 64 128; do
  convert -background none -density 300 qenboxclient.svg -resize "${size}x${size}" "PNG32:qenboxclient-$size.png"
done
