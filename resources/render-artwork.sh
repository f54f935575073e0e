#!/usr/bin/env bash
# Rasterises the hand-written SVG artwork into the PNG icons installed for the
# desktop; the program itself draws from the SVG sources.
# Needs ImageMagick's convert; its own SVG renderer puts pixel centres on whole
# coordinates, which the small drawings are aligned to.
set -euo pipefail
cd "$(dirname "$0")"

render() { # source, output, density, background
    convert -background "$4" -density "$3" "$1" -depth 8 \
        -define png:exclude-chunks=date,time "PNG32:$2"
}

# Sizes for desktop installation; 16 px has its own drawing so that it stays sharp.
mkdir -p icons/16x16
render leafmark-small.svg icons/16x16/leafmark.png 96 none
for size in 32 48 64 128 256; do
    mkdir -p "icons/${size}x${size}"
    render leafmark.svg "icons/${size}x${size}/leafmark.png" $((96 * size / 256)) none
done
