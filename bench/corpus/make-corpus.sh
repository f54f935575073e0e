#!/usr/bin/env bash
# Makes the benchmark's PDF files under the folder given: text pages, scanned
# pages, vector drawings, long documents and mixed ones, in a tree of nested
# folders. The same files every time: every random choice has a fixed seed.
set -euo pipefail

root=${1:?usage: make-corpus.sh FOLDER}
here=$(cd "$(dirname "$0")" && pwd)
images=$(mktemp -d)
trap 'rm -rf "$images"' EXIT

pdfwrite() {
    local output=$1
    shift
    mkdir -p "$(dirname "$output")"
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite --permit-file-read="$images/" \
        -o "$output" "$@"
}

text() { # output seed pages
    pdfwrite "$1" -dSeed="$2" -dPages="$3" "$here/text.ps"
}

drawing() { # output seed paths [landscape]
    pdfwrite "$1" -dSeed="$2" -dPaths="$3" ${4:+-dLandscape} "$here/drawing.ps"
}

# A page as a scanner gives it: a JPEG of width x height pixels, in colour or grey.
photo() { # name seed width height colour|grey
    local jpeg=$images/$1.jpg
    local colour=()
    [ "$5" = grey ] && colour=(-colorspace Gray)
    /usr/bin/convert -size "$3x$4" -seed "$2" plasma:fractal "${colour[@]}" -quality 85 "$jpeg"
    photoArguments=(-sImageFile="$jpeg" -dImageWidth="$3" -dImageHeight="$4")
    [ "$5" = grey ] && photoArguments+=(-dGray)
    return 0
}

scan() { # output seed width height colour|grey
    photo "$(basename "$1")" "$2" "$3" "$4" "$5"
    pdfwrite "$1" "${photoArguments[@]}" "$here/image.ps"
}

brochure() { # output seed text-pages
    photo "$(basename "$1")" "$2" 1240 1754 colour
    pdfwrite "$1" "${photoArguments[@]}" -dSeed="$2" -dPages="$3" "$here/image.ps" "$here/text.ps"
}

for i in $(seq -w 1 12); do text "$root/letters/2021/letter-$i.pdf" "$i" $((1 + 10#$i % 3)); done
for i in $(seq -w 13 24); do text "$root/letters/2022/archive/letter-$i.pdf" "$i" $((1 + 10#$i % 3)); done
for i in $(seq -w 1 10); do text "$root/reports/REPORT-$i.PDF" "$((100 + 10#$i))" $((4 + 10#$i)); done
for i in $(seq -w 1 12); do scan "$root/scans/colour/scan-$i.pdf" "$i" 1240 1754 colour; done
for i in $(seq -w 13 20); do scan "$root/scans/grey/old/scan-$i.pdf" "$i" 1240 1754 grey; done
for i in $(seq -w 21 23); do scan "$root/scans/hires/scan-$i.pdf" "$i" 2480 3508 colour; done
for i in $(seq -w 1 6); do drawing "$root/drawings/plans/plan-$i.pdf" "$i" $((1000 * 10#$i)) landscape; done
for i in $(seq -w 7 16); do drawing "$root/drawings/sketches/sketch-$i.pdf" "$i" $((150 * 10#$i)); done
for i in $(seq -w 1 10); do text "$root/books/book-$i.pdf" "$((200 + 10#$i))" $((40 * 10#$i)); done
for i in $(seq -w 1 8); do brochure "$root/mixed/brochure-$i.pdf" "$((300 + 10#$i))" $((5 * 10#$i)); done
for i in $(seq -w 1 9); do text "$root/deep/a/b/c/d/e/note-$i.pdf" "$((400 + 10#$i))" 1; done
