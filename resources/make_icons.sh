#!/bin/sh
# Regenerates the program icons from varnelo.svg: the PNG sizes that the Linux
# program embeds and installs, and the multi-size icon of the Windows program.
# Needs ImageMagick's convert.
set -eu
cd "$(dirname "$0")"
convert -background none varnelo.svg -define png:exclude-chunks=date,time \
  -depth 8 varnelo.png
for size in 48 32 16; do
  convert varnelo.png -filter Lanczos -resize "${size}x${size}" \
    -define png:exclude-chunks=date,time -depth 8 "varnelo-$size.png"
done
convert varnelo-16.png varnelo-32.png varnelo-48.png varnelo.png varnelo.ico
