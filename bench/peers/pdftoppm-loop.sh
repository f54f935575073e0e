#!/usr/bin/env bash
# Poppler's pdftoppm, one process per PDF: page 1 scaled to the thumbnail width.
# Usage: pdftoppm-loop.sh PDF_LIST WARMUP_LIST THUMB_DIR OUT_PREFIX WIDTH
set -euo pipefail

list=$1 warmup=$2 thumbs=$3 prefix=$4 width=$5

pdftoppmOne() {
    local name=${1##*/}
    pdftoppm -png -singlefile -scale-to-x "$width" -scale-to-y -1 "$1" "$thumbs/${name%????}"
}

source "$(dirname "$0")/timed-loop.sh"
timedLoop "$list" "$warmup" "$prefix" pdftoppmOne
