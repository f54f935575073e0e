#!/usr/bin/env bash
# The convert command, one process per PDF, as a user would script it: one
# after the other, or with JOBS given, that many at once through xargs -P.
# Debian's ImageMagick policy forbids reading PDF and is not ours to edit, so
# this runs in a private mount namespace (unshare -m, as root) where a copy of
# that policy, opened for PDF as the worker opens it, is bound over the system
# file. Nothing outside this process tree sees the change.
# Usage: convert-loop.sh PDF_LIST WARMUP_LIST THUMB_DIR OUT_PREFIX WIDTH [JOBS]
set -euo pipefail

list=$1 warmup=$2 thumbs=$3 prefix=$4 width=$5 jobs=${6:-}
systemPolicy=/etc/ImageMagick-6/policy.xml

if [ "${LEAFMARK_BENCH_NAMESPACE:-}" != private ]; then
    LEAFMARK_BENCH_NAMESPACE=private exec unshare -m bash "$0" "$@"
fi

sed 's#</policymap>#  <policy domain="coder" rights="read" pattern="PDF"/>\n  <policy domain="coder" rights="read|write" pattern="EPS"/>\n</policymap>#' \
    "$systemPolicy" >"$prefix.policy.xml"
mount --bind "$prefix.policy.xml" "$systemPolicy"

thumbOf() {
    local name=${1##*/}
    echo "$thumbs/${name%???}png"
}

convertOne() {
    # Debian's own convert, not whatever else may come first on the PATH.
    /usr/bin/convert -thumbnail "${width}x" -alpha Remove "$1[0]" "$(thumbOf "$1")"
}

source "$(dirname "$0")/timed-loop.sh"
if [ -z "$jobs" ]; then
    timedLoop "$list" "$warmup" "$prefix" convertOne
    exit
fi

# Each convert gets its input and output straight from xargs, with no shell
# in between; the time a thumbnail was finished is its modification time.
pairsOf() { # list
    local pdf
    while IFS= read -r pdf; do
        printf '%s[0]\n%s\n' "$pdf" "$(thumbOf "$pdf")"
    done <"$1"
}
convertAll() { # pairs
    xargs -d '\n' -n 2 -P "$jobs" /usr/bin/convert -thumbnail "${width}x" -alpha Remove <"$1"
}
pairsOf "$warmup" >"$prefix.warmup-pairs"
pairsOf "$list" >"$prefix.pairs"
convertAll "$prefix.warmup-pairs" 2>/dev/null || true
ticksBefore=$(childTicks)
start=$(microseconds "$EPOCHREALTIME")
convertAll "$prefix.pairs" 2>>"$prefix.log" || true
end=$(microseconds "$EPOCHREALTIME")
cpu=$(cpuSecondsSince "$ticksBefore")
while IFS= read -r pdf; do
    thumb=$(thumbOf "$pdf")
    if [ -s "$thumb" ]; then
        printf '%s\t1\t%s\n' "$(stat -c %.6Y "$thumb")" "$pdf"
    else
        printf '%s\t0\t%s\n' "$(seconds "$end")" "$pdf"
    fi
done <"$list" | sort -n | awk -F '\t' -v start="$(seconds "$start")" -v OFS='\t' '
    BEGIN { print "order", "seconds", "finished", "ok", "path"; previous = 0 }
    { finished = $1 - start; print NR, finished - previous, finished, $2, $3; previous = finished }
' >"$prefix.files.tsv"
printf 'files\t%d\nseconds_total\t%s\ncpu_seconds\t%s\njobs\t%d\n' "$(wc -l <"$list")" \
    "$(seconds $((end - start)))" "$cpu" "$jobs" >"$prefix.summary"
