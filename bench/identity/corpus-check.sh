#!/usr/bin/env bash
# Thumbnails of the installed path (the real worker, confined, Ghostscript
# kept started) against Debian's own /usr/bin/convert, over the PDFs of the
# documentation packages that `scripts/deps.sh --bench` installs and the odd
# ones of make-odd.sh, at three geometries, compared by pixel signature
# (`identify -format '%#'`, alpha included).
# Debian's ImageMagick policy forbids reading PDF and is not ours to edit, and
# MAGICK_CONFIGURE_PATH cannot lift it: convert runs in a private mount
# namespace (unshare -m, as root) where a copy of that policy, opened for PDF
# as the worker opens it, is bound over the system file.
#   corpus-check.sh BUILD_DIR WORK_DIR   (LEAFMARK_IDENTITY_EVERY=N keeps every Nth
#   documentation PDF, 2 by default, LEAFMARK_IDENTITY_MOST of them at most, 285;
#   LEAFMARK_IDENTITY_GEOMETRIES)
set -euo pipefail
build=${1:?usage: corpus-check.sh BUILD_DIR WORK_DIR}
work=${2:?}
here=$(cd "$(dirname "$0")" && pwd)
every=${LEAFMARK_IDENTITY_EVERY:-2}
most=${LEAFMARK_IDENTITY_MOST:-285}
geometries=${LEAFMARK_IDENTITY_GEOMETRIES:-88x x120 200x200}
worker=$(find "$build" -maxdepth 3 -type f -name leafmark-worker | head -n 1)
[ -x "$worker" ] || { echo "corpus-check.sh: no leafmark-worker under $build" >&2; exit 1; }

if [ "${LEAFMARK_IDENTITY_NAMESPACE:-}" != private ]; then
    LEAFMARK_IDENTITY_NAMESPACE=private exec unshare -m bash "$0" "$@"
fi
mkdir -p "$work"
systemPolicy=/etc/ImageMagick-6/policy.xml
sed 's#</policymap>#  <policy domain="coder" rights="read" pattern="PDF"/>\n</policymap>#' \
    "$systemPolicy" >"$work/policy.xml"
mount --bind "$work/policy.xml" "$systemPolicy"

bash "$here/make-odd.sh" "$work/odd" >/dev/null
{
    # awk, not head: a pipe closed early fails the script under pipefail.
    find /usr/share/doc -name '*.pdf' -type f | sort |
        awk -v every="$every" -v most="$most" 'NR % every == 0 && ++kept <= most'
    find "$work/odd" -name '*.pdf' -type f | sort
} >"$work/corpus.list"
echo "corpus: $(wc -l <"$work/corpus.list") PDFs"

# convert once per PDF for all geometries: the page is read once and each
# thumbnail made from a clone of it, which gives the pixels of one convert per
# geometry (checked on text, CMYK and transparent pages) at a third of the cost.
convertOne() { # number pdf
    local arguments=("$2[0]") geometry last=${geometries##* }
    for geometry in $geometries; do
        local out=$work/$geometry/convert/$1.png
        if [ "$geometry" = "$last" ]; then
            arguments+=(-thumbnail "$geometry" -alpha Remove "$out")
        else
            arguments+=("(" +clone -thumbnail "$geometry" -alpha Remove -write "$out" +delete ")")
        fi
    done
    /usr/bin/convert "${arguments[@]}" 2>/dev/null || true
}

convertShare() { # share of two
    local number=0 pdf
    while IFS= read -r pdf; do
        [ $((number % 2)) -eq "$1" ] && convertOne "$number" "$pdf"
        number=$((number + 1))
    done <"$work/corpus.list"
}

signature() { # file
    [ -s "$1" ] && identify -format '%#' "$1" 2>/dev/null || echo failed
}

# A file that does not start like a PDF is refused before rendering, where
# convert may still run it (gs reads a "%%" line before the header as
# PostScript): a class of its own, never run on purpose, not a difference in
# pixels.
refusedOnPurpose() { # reason file
    [ -f "$1" ] && grep -q "does not start like a PDF" "$1"
}

identical=0 different=0 failedBoth=0 refused=0
: >"$work/differences"
: >"$work/refused"
for geometry in $geometries; do
    mkdir -p "$work/$geometry/convert"
    python3 "$here/thumbnails.py" "$worker" "$work/corpus.list" "$geometry" "$work/$geometry/worker" &
done
convertShare 0 &
convertShare 1 &
wait
for geometry in $geometries; do
    number=0
    while IFS= read -r pdf; do
        theirs=$(signature "$work/$geometry/convert/$number.png")
        ours=$(signature "$work/$geometry/worker/$number.png")
        if [ "$theirs" = failed ] && [ "$ours" = failed ]; then
            failedBoth=$((failedBoth + 1))
        elif [ "$theirs" = "$ours" ]; then
            identical=$((identical + 1))
        elif [ "$ours" = failed ] && refusedOnPurpose "$work/$geometry/worker/$number.failed"; then
            refused=$((refused + 1))
            printf '%s %s\n' "$geometry" "$pdf" >>"$work/refused"
        else
            different=$((different + 1))
            printf '%s %s convert=%s worker=%s\n' "$geometry" "$pdf" "$theirs" "$ours" >>"$work/differences"
        fi
        number=$((number + 1))
    done <"$work/corpus.list"
done
sed 's/^/  differs: /' "$work/differences"
sed 's/^/  refused, not started like a PDF: /' "$work/refused"
echo "$identical identical, $different different, $failedBoth failed both ways," \
    "$refused refused on purpose (not started like a PDF)"
