#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the toolbar icons' PNGs from their SVG sources (Debian: librsvg2-bin). The PNGs are
# committed, so neither building nor running needs an SVG renderer.
set -eu
cd "$(dirname "$0")"
for svg in *.svg; do
  for size in 24 48; do
    mkdir -p "png/$size"
    rsvg-convert -w "$size" -h "$size" "$svg" -o "png/$size/${svg%.svg}.png"
  done
done
