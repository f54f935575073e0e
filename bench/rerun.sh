#!/usr/bin/env bash
# What a second run costs when the thumbnails are kept up to date: a library
# of real PDFs is converted once, a few of them are changed, and the run is
# made again, skipping what is up to date; the rerun's time is given as a
# share of the first run's. Once with the thumbnails in one flat folder (where
# PDFs of one name replace each other's thumbnail, and so are converted again
# every time), once with the PDF folder's subfolders kept.
#
#   bash bench/rerun.sh [PDFs, default 2000] [changed, default 20] [flat | kept-subfolders]
#
# The PDFs are those Debian's documentation packages put under /usr/share/doc
# (scripts/deps.sh --bench installs some); where there are fewer than asked
# for, they are copied again into further subfolders, each copy a file of its own.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
count=${1:-2000}
changed=${2:-20}
# "flat" or "kept-subfolders" alone; both by default.
only=${3:-}

cmake -S . -B build -G Ninja >/dev/null
cmake --build build --target leafmark-bench-rerun leafmark-worker >/dev/null
bin=$repo/build/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-rerun.XXXXXX")
trap 'rm -rf "$work"' EXIT

mapfile -t real < <(find /usr/share/doc -type f -iname '*.pdf' -size +0 | sort)
((${#real[@]} > 0)) || { echo "bench/rerun.sh: no PDFs under /usr/share/doc" >&2; exit 1; }
made=0
while ((made < count)); do
    for pdf in "${real[@]}"; do
        ((made < count)) || break
        dest=$work/pdfs/copy$((made / ${#real[@]}))${pdf#/usr/share/doc}
        mkdir -p "$(dirname "$dest")"
        cp "$pdf" "$dest"
        made=$((made + 1))
    done
done
mapfile -t all < <(find "$work/pdfs" -type f -name '*.pdf' | sort)
# A PDF's times must lie a moment back before its thumbnail is recorded.
settle() { sleep 3; }

measure() {
    local name=$1 out=$work/out-$1
    shift
    mkdir -p "$out"
    settle
    local first second
    first=$("$bin/leafmark-bench-rerun" --pdfs "$work/pdfs" --out "$out" \
        --worker "$bin/leafmark-worker" "$@")
    local step=$((${#all[@]} / changed)) i
    for ((i = 0; i < changed; i++)); do touch "${all[$((i * step))]}"; done
    second=$("$bin/leafmark-bench-rerun" --pdfs "$work/pdfs" --out "$out" \
        --worker "$bin/leafmark-worker" "$@")
    local s1 s2
    s1=$(sed 's/.*seconds=//' <<<"$first")
    s2=$(sed 's/.*seconds=//' <<<"$second")
    printf '| %s | %s | %s | %s |\n' "$name" "$first" "$second" \
        "$(python3 -c "print(f'{100 * $s2 / $s1:.2f} %')")"
}

echo "PDFs: $made ($((${#real[@]})) real ones from /usr/share/doc, the rest copies), $changed changed; $(nproc) cores"
echo
echo "| thumbnails | first run | second run | second as a share of the first |"
echo "|---|---|---|---|"
[ "$only" = flat ] || measure kept-subfolders --keep-subfolders
[ "$only" = kept-subfolders ] || measure flat
