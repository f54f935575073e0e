#!/usr/bin/env bash
# Rasterises the hand-written SVG artwork into the PNGs the program carries.
# Needs ImageMagick's convert; its own SVG renderer puts pixel centres on whole
# coordinates, which the small drawings are aligned to.
set -euo pipefail
cd "$(dirname "$0")"

render() { # source, output, density, background
    convert -background "$4" -density "$3" "$1" -depth 8 \
        -define png:exclude-chunks=date,time "PNG32:$2"
}

render check.svg check.png 96 none
render cross.svg cross.png 96 none
render sample-page.svg sample-page.png 96 white
render leafmark.svg leafmark.png 96 none

# Sizes for desktop installation; 16 px has its own drawing so that it stays sharp.
mkdir -p icons/16x16
render leafmark-small.svg icons/16x16/leafmark.png 96 none
for size in 32 48 64 128 256; do
    mkdir -p "icons/${size}x${size}"
    render leafmark.svg "icons/${size}x${size}/leafmark.png" $((96 * size / 256)) none
done
