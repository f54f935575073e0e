#!/usr/bin/env bash
# Thumbnails of the warm renderer against today's path (ImageMagick starting
# a gs of its own for every PDF): pixel signatures, alpha included, for every
# PDF of the lists and every geometry; the warm path in the lists' order and
# in reverse, so that no document can change the next one's pixels unseen.
#   compare.sh BIN_DIR WORK_DIR PDF_LIST... (geometries: LEAFMARK_IDENTITY_GEOMETRIES)
set -euo pipefail
bin=${1:?usage: compare.sh BIN_DIR WORK_DIR PDF_LIST...}
work=${2:?}
shift 2
geometries=${LEAFMARK_IDENTITY_GEOMETRIES:-88x x120 200x200}
mkdir -p "$work"
cat "$@" >"$work/all.list"
tac "$work/all.list" >"$work/reverse.list"
: >"$work/none.list"

signatures() { # folder -> "name signature" lines
    (cd "$1" && for f in *; do [ -f "$f" ] && printf '%s %s\n' "$f" "$(identify -format '%#' "$f")"; done) | sort
}

for geometry in $geometries; do
    for run in cold:all warm:all warm:reverse; do
        method=${run%%:*} order=${run##*:}
        dir=$work/$geometry/$method-$order
        rm -rf "$dir"
        mkdir -p "$dir/thumbs"
        "$bin/leafmark-bench-magick" "$work/$order.list" "$work/none.list" "$dir/thumbs" "$dir/out" \
            "$geometry" $([ "$method" = warm ] && echo warm) 2>"$dir/failures" || true
        sed -E 's/^[^:]*\/([^/:]*): /\1: /' "$dir/failures" | sort >"$dir/failures.sorted"
        signatures "$dir/thumbs" >"$dir/signatures"
    done
    cold=$work/$geometry/cold-all
    for warm in warm-all warm-reverse; do
        w=$work/$geometry/$warm
        same=$(join "$cold/signatures" "$w/signatures" | awk '$2 == $3' | wc -l)
        printf '%s %s: %d thumbnails today, %d warm, %d identical; failures today %d, warm %d\n' \
            "$geometry" "$warm" "$(wc -l <"$cold/signatures")" "$(wc -l <"$w/signatures")" "$same" \
            "$(wc -l <"$cold/failures.sorted")" "$(wc -l <"$w/failures.sorted")"
        join -a1 -a2 -e missing -o 0,1.2,2.2 "$cold/signatures" "$w/signatures" | awk '$2 != $3 { print "  differs: " $0 }'
        diff "$cold/failures.sorted" "$w/failures.sorted" | sed -n 's/^[<>]/  failure &/p' || true
    done
done
