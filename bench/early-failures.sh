#!/usr/bin/env bash
# The fixed cost of an entry that fails on its first bytes: empty PDFs, in
# folders of 1,000, through the real window offscreen and the real pool.
# Usage: bench/early-failures.sh [folder with leafmark-bench-window and
# leafmark-worker, build/bin] [entries, 20000]
# Prints the entries, the wall and CPU seconds of the run (window and
# workers) and the milliseconds per entry.
set -euo pipefail
cd "$(dirname "$0")/.."
bin=${1:-build/bin}
count=${2:-20000}
[ -x "$bin/leafmark-bench-window" ] || {
    echo "bench/early-failures.sh: build leafmark-bench-window and leafmark-worker into $bin" >&2
    exit 1
}
work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-early.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/thumbs"
for ((i = 0; i < count; i++)); do
    printf '%s/pdfs/%03d/empty-%05d.pdf\n' "$work" $((i / 1000)) "$i"
done >"$work/list"
sed 's|/[^/]*$||' "$work/list" | sort -u | xargs mkdir -p
xargs touch <"$work/list"
"$bin/leafmark-bench-window" run --untimed --worker "$bin/leafmark-worker" \
    --pdfs "$work/pdfs" --thumbs "$work/thumbs" --out "$work/run" 2>/dev/null
awk -F'\t' '{ v[$1] = $2 }
    END { printf "entries %d, %.2f s, %.2f CPU-s, %.3f ms per entry\n",
          v["rows"], v["seconds_total"], v["cpu_seconds"], 1000 * v["seconds_total"] / v["rows"] }' \
    "$work/run.summary"
