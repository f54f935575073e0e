#!/usr/bin/env bash
# The command line against what script users run today, on the benchmark's
# corpus and on all cores: leafmark --jobs <cores>, convert through
# xargs -P <cores>, and pdftoppm through xargs -P <cores>. The rounds are
# interleaved, each in another order of the three, and the median wall time of
# each is compared. Leafmark's thumbnails are then checked against convert's,
# pixel for pixel, by identify's signature ('%#', alpha included).
# Debian's ImageMagick policy forbids reading PDF, MAGICK_CONFIGURE_PATH cannot
# lift that (the system file is read last and wins), and /etc is not ours: so,
# as bench/peers/convert-loop.sh does, this runs in a private mount namespace
# (unshare -m, as root) where a copy of the policy that reads PDF is bound over
# the system file. Nothing outside this process tree sees it.
# Usage: bench/cli.sh [BUILD_DIR]  (default build/; needs bin/leafmark and its worker)
# Settings: LEAFMARK_BENCH_ROUNDS (3). Writes bench/results/cli.md.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build}")
rounds=${LEAFMARK_BENCH_ROUNDS:-3}
cores=$(nproc)
width=88
systemPolicy=/etc/ImageMagick-6/policy.xml

for tool in gs pdftoppm identify unshare /usr/bin/convert "$build/bin/leafmark"; do
    command -v "$tool" >/dev/null || { echo "bench/cli.sh: $tool is missing" >&2; exit 1; }
done
if [ "${LEAFMARK_BENCH_NAMESPACE:-}" != private ]; then
    LEAFMARK_BENCH_NAMESPACE=private exec unshare -m bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-cli-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
sed 's#</policymap>#  <policy domain="coder" rights="read" pattern="PDF"/>\n</policymap>#' \
    "$systemPolicy" >"$work/policy.xml"
mount --bind "$work/policy.xml" "$systemPolicy"

# A copy, so that a build while the benchmark runs cannot touch what it times.
mkdir -p "$work/bin"
cp "$build/bin/leafmark" "$build/bin/leafmark-worker" "$work/bin/"

echo "== making the corpus" >&2
bash bench/corpus/make-corpus.sh "$work/corpus"
find "$work/corpus" -iname '*.pdf' | sort >"$work/list"
files=$(wc -l <"$work/list")
while IFS= read -r pdf; do
    name=${pdf##*/}
    printf '%s[0]\n%s\n' "$pdf" "$work/out/convert/${name%???}png" >>"$work/convert.pairs"
    printf '%s\n%s\n' "$pdf" "$work/out/pdftoppm/${name%????}" >>"$work/pdftoppm.pairs"
done <"$work/list"
xargs -d '\n' cat <"$work/list" >/dev/null

runLeafmark() {
    "$work/bin/leafmark" --pdf-folder "$work/corpus" --image-folder "$work/out/leafmark" \
        --width "$width" --jobs "$cores" >"$work/leafmark.tsv" || true
}
runConvert() {
    xargs -d '\n' -n 2 -P "$cores" /usr/bin/convert -thumbnail "${width}x" -alpha Remove \
        <"$work/convert.pairs" 2>/dev/null || true
}
runPdftoppm() {
    xargs -d '\n' -n 2 -P "$cores" pdftoppm -png -singlefile -scale-to-x "$width" -scale-to-y -1 \
        <"$work/pdftoppm.pairs" 2>/dev/null || true
}

microseconds() { local now=${EPOCHREALTIME/./}; echo $((10#$now)); }
timeOne() { # method
    rm -rf "$work/out/$1" && mkdir -p "$work/out/$1"
    local start end
    start=$(microseconds)
    "run${1^}"
    end=$(microseconds)
    echo "$1 $((end - start))" >>"$work/times"
    echo "   $1: $(((end - start) / 1000)) ms, $(find "$work/out/$1" -type f | wc -l) thumbnails" >&2
}

methods=(leafmark convert pdftoppm)
for ((round = 0; round < rounds; ++round)); do
    echo "== round $((round + 1)) of $rounds" >&2
    for ((i = 0; i < 3; ++i)); do
        timeOne "${methods[(round + i) % 3]}"
    done
done

median() { # method
    awk -v m="$1" '$1 == m { print $2 }' "$work/times" | sort -n |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
made() { find "$work/out/$1" -type f | wc -l; }
leafmark=$(median leafmark) convert=$(median convert) pdftoppm=$(median pdftoppm)

same=0 compared=0
while IFS= read -r pdf; do
    name=${pdf##*/}
    ours=$work/out/leafmark/${name%???}png theirs=$work/out/convert/${name%???}png
    [ -s "$ours" ] && [ -s "$theirs" ] || continue
    compared=$((compared + 1))
    if [ "$(identify -format '%#' "$ours")" = "$(identify -format '%#' "$theirs")" ]; then
        same=$((same + 1))
    fi
done <"$work/list"

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
secondsOf() { awk -v u="$1" 'BEGIN { printf "%.1f", u / 1e6 }'; }
{
    echo "Measured on: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $cores cores; load average $(cut -d' ' -f1-3 /proc/loadavg) at the end"
    echo
    echo "$files PDFs, width $width px, all $cores cores, $rounds interleaved rounds, median wall time."
    echo
    echo "| Method | thumbnails | wall, s | × leafmark's time |"
    echo "|---|---|---|---|"
    echo "| leafmark --pdf-folder … --jobs $cores | $(made leafmark) | $(secondsOf "$leafmark") | 1.00 |"
    echo "| xargs -P $cores convert -thumbnail ${width}x -alpha Remove f.pdf[0] | $(made convert) | $(secondsOf "$convert") | $(ratio "$convert" "$leafmark") |"
    echo "| xargs -P $cores pdftoppm -png -singlefile -scale-to-x $width | $(made pdftoppm) | $(secondsOf "$pdftoppm") | $(ratio "$pdftoppm" "$leafmark") |"
    echo
    echo "Same pixels as convert's (identify -format '%#'): $same of $compared thumbnails."
} | tee bench/results/cli.md
