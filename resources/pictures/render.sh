#!/usr/bin/env bash
# Renders the PNGs from their SVG sources (rsvg-convert, Debian librsvg2-bin).
# The PNGs are committed, so a build needs no converter; run this after
# changing an SVG.
set -euo pipefail
cd "$(dirname "$0")"
# Each picture also at twice the density, drawn on screens scaled by more than 1.
for name in banner logo add delete separator; do
  rsvg-convert -o "$name.png" "$name.svg"
  rsvg-convert -z 2 -o "$name@2x.png" "$name.svg"
done
mkdir -p icons/scalable
cp logo.svg icons/scalable/lumidor.svg
for size in 48 64 128 256; do
  mkdir -p "icons/${size}x${size}"
  rsvg-convert -w "$size" -h "$size" -o "icons/${size}x${size}/lumidor.png" logo.svg
done
