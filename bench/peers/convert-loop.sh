#!/usr/bin/env bash
# The convert command, one process per PDF, as a user would script it.
# Debian's ImageMagick policy forbids reading PDF and is not ours to edit, so
# this runs in a private mount namespace (unshare -m, as root) where a copy of
# that policy, opened for PDF as the worker opens it, is bound over the system
# file. Nothing outside this process tree sees the change.
# Usage: convert-loop.sh PDF_LIST WARMUP_LIST THUMB_DIR OUT_PREFIX WIDTH
set -euo pipefail

list=$1 warmup=$2 thumbs=$3 prefix=$4 width=$5
systemPolicy=/etc/ImageMagick-6/policy.xml

if [ "${LEAFMARK_BENCH_NAMESPACE:-}" != private ]; then
    LEAFMARK_BENCH_NAMESPACE=private exec unshare -m bash "$0" "$@"
fi

sed 's#</policymap>#  <policy domain="coder" rights="read" pattern="PDF"/>\n  <policy domain="coder" rights="read|write" pattern="EPS"/>\n</policymap>#' \
    "$systemPolicy" >"$prefix.policy.xml"
mount --bind "$prefix.policy.xml" "$systemPolicy"

convertOne() {
    local name=${1##*/}
    # Debian's own convert, not whatever else may come first on the PATH.
    /usr/bin/convert -thumbnail "${width}x" -alpha Remove "$1[0]" "$thumbs/${name%???}png"
}

source "$(dirname "$0")/timed-loop.sh"
timedLoop "$list" "$warmup" "$prefix" convertOne
