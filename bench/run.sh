#!/usr/bin/env bash
# Leafmark's benchmarks, all in one run on the same machine:
#  - a whole run of the program (real window offscreen, real pool of workers),
#    with the pool on one core (taskset -c 0) and on all cores, its workers
#    rendering with Ghostscript kept started (warm) and as before, a gs for
#    every page (today's path), against the bare sequential loop (the
#    product's own conversion code in one process, on all cores and on one,
#    today's path and warm), the convert program once per PDF one after the
#    other and on all cores at once (xargs -P), and pdftoppm once per PDF, on a
#    corpus made here; for each, the load the rest of the machine put on it;
#  - the whole runs once more beside one busy process per core (loaded);
#  - the bare loop, today's path and warm, over Debian's documentation PDFs;
#  - the walk alone over 100,000 empty files in 10,000 folders, against find;
#  - resident memory of the window's process and of each worker over 2,000 conversions;
#  - the longest gap between two yield points outside the converter.
# Prints the table and writes bench/results/ (table.md, per-file.tsv, plot.png).
# Needs root: the convert loop lifts Debian's PDF ban in a private mount namespace.
# Settings: LEAFMARK_BENCH_PASSES (3), LEAFMARK_BENCH_WALK_LIMIT (seconds, 120),
# LEAFMARK_BENCH_MEMORY_FILES (2000), LEAFMARK_BENCH_CONVERSIONS_ONLY (1: leave
# out the walk, memory and yield-gap parts).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
results=$repo/bench/results
passes=${LEAFMARK_BENCH_PASSES:-3}
walkLimit=${LEAFMARK_BENCH_WALK_LIMIT:-120}
memoryFiles=${LEAFMARK_BENCH_MEMORY_FILES:-2000}
conversionsOnly=${LEAFMARK_BENCH_CONVERSIONS_ONLY:-0}
width=88

step() { printf '== %s\n' "$*" >&2; }

for tool in cmake gs pdftoppm gnuplot python3 unshare /usr/bin/convert; do
    command -v "$tool" >/dev/null || { echo "bench/run.sh: $tool is missing; run scripts/deps.sh --bench" >&2; exit 1; }
done
if [ "$(id -u)" -ne 0 ]; then
    echo "bench/run.sh: run as root (the convert loop needs unshare -m and a bind mount)" >&2
    exit 1
fi

step "Building into build-bench/"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench --parallel "$(nproc)" \
    --target leafmark-bench-window leafmark-bench-magick leafmark-worker leafmark-worker-cold \
    >/dev/null
bin=$repo/build-bench/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
raw=$work/raw
mkdir -p "$raw"
loadAtStart=$(cut -d' ' -f1-3 /proc/loadavg)

step "Making the corpus"
bash bench/corpus/make-corpus.sh "$work/corpus"
find "$work/corpus" -iname '*.pdf' | sort >"$work/corpus.list"
# Every method first converts these, unmeasured, so that none pays for a cold start.
mkdir -p "$work/warmup"
for seed in 1 2 3; do
    gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dSeed=$((900 + seed)) -dPages=1 \
        -o "$work/warmup/warmup-$seed.pdf" bench/corpus/text.ps
done
find "$work/warmup" -name '*.pdf' | sort >"$work/warmup.list"
# Debian's documentation, the compressed ones unpacked, with names of their own.
mkdir -p "$work/docs"
find /usr/share/doc -name '*.pdf' -o -name '*.pdf.gz' | sort | while read -r doc; do
    name=$(printf '%s' "${doc#/usr/share/doc/}" | tr -c 'A-Za-z0-9.\n-' '_')
    case $doc in
    *.gz) zcat "$doc" >"$work/docs/${name%.gz}" ;;
    *) cp "$doc" "$work/docs/$name" ;;
    esac
done
find "$work/docs" -name '*.pdf' | sort >"$work/docs.list"

cores=$(nproc)
methods=(window-one window-all warm-one warm-all bare bare-one bare-warm convert convert-all
    pdftoppm docs-bare docs-bare-warm loaded-window-one loaded-window-all loaded-warm-one
    loaded-warm-all loaded-convert-all)
# One busy process per core for as long as the method runs.
withBusyCores() {
    local busy=() status=0
    for _ in $(seq 1 "$cores"); do
        bash -c 'while :; do :; done' &
        busy+=($!)
    done
    "$@" || status=$?
    kill "${busy[@]}"
    wait "${busy[@]}" 2>/dev/null || true
    return $status
}
convertWith() { # method pass
    local thumbs=$work/thumbs/$1 prefix=$raw/$1-$2
    rm -rf "$thumbs"
    mkdir -p "$thumbs"
    case $1 in
    loaded-*)
        # Under a pass name of its own, so that the quiet run's files stay.
        local inner=${1#loaded-} file
        withBusyCores convertWith "$inner" "$2-busy"
        for file in "$raw/$inner-$2-busy".*; do
            mv "$file" "$prefix.${file#"$raw/$inner-$2-busy".}"
        done ;;
    window-one | window-all | warm-one | warm-all)
        # The pool has a worker for each core the process may run on.
        local onCores=() worker=()
        case $1 in *-one) onCores=(taskset -c 0) ;; esac
        case $1 in window-*) worker=(--worker "$bin/leafmark-worker-cold") ;; esac
        "${onCores[@]}" "$bin/leafmark-bench-window" run --pdfs "$work/corpus" --thumbs "$thumbs" \
            --warmup "$work/warmup" --width "$width" --out "$prefix" "${worker[@]}" 2>/dev/null ;;
    bare | bare-warm)
        "$bin/leafmark-bench-magick" "$work/corpus.list" "$work/warmup.list" "$thumbs" \
            "$prefix" "$width" $([ "$1" = bare-warm ] && echo warm) ;;
    docs-bare | docs-bare-warm)
        "$bin/leafmark-bench-magick" "$work/docs.list" "$work/warmup.list" "$thumbs" \
            "$prefix" "$width" $([ "$1" = docs-bare-warm ] && echo warm) 2>/dev/null ;;
    bare-one)
        taskset -c 0 "$bin/leafmark-bench-magick" "$work/corpus.list" "$work/warmup.list" \
            "$thumbs" "$prefix" "$width" ;;
    convert | pdftoppm)
        bash "bench/peers/$1-loop.sh" "$work/corpus.list" "$work/warmup.list" "$thumbs" \
            "$prefix" "$width" ;;
    convert-all)
        bash bench/peers/convert-loop.sh "$work/corpus.list" "$work/warmup.list" "$thumbs" \
            "$prefix" "$width" "$cores" ;;
    esac
}
# Busy time of all cores, in clock ticks: user, nice, system, irq, softirq, steal.
busyTicks() {
    local cpu user nice system idle iowait irq softirq steal rest
    read -r cpu user nice system idle iowait irq softirq steal rest </proc/stat
    echo $((user + nice + system + irq + softirq + steal))
}
# User and system time, in clock ticks, of this shell and of every process it
# has waited for: each method's programs, their workers and their Ghostscript.
ownTicks() {
    local fields
    read -ra fields </proc/$$/stat
    echo $((fields[13] + fields[14] + fields[15] + fields[16]))
}
# What the whole machine did while a method ran, and how much of it was the
# method's own, so that the load the other programs put on it can be told.
withLoad() { # prefix command...
    local prefix=$1 ticks own start load
    shift
    ticks=$(busyTicks) own=$(ownTicks) start=${EPOCHREALTIME/./} load=$(cut -d' ' -f1 /proc/loadavg)
    "$@"
    printf 'busy_seconds\t%s\nown_seconds\t%s\nwall_seconds\t%s\nload_before\t%s\nload_after\t%s\n' \
        "$(awk -v t=$(($(busyTicks) - ticks)) -v hz="$(getconf CLK_TCK)" 'BEGIN { print t / hz }')" \
        "$(awk -v t=$(($(ownTicks) - own)) -v hz="$(getconf CLK_TCK)" 'BEGIN { print t / hz }')" \
        "$(awk -v us=$((${EPOCHREALTIME/./} - start)) 'BEGIN { print us / 1e6 }')" \
        "$load" "$(cut -d' ' -f1 /proc/loadavg)" >"$prefix.load"
}
for pass in $(seq 1 "$passes"); do
    # Each pass starts with another method, so that none always runs first or last.
    for i in "${!methods[@]}"; do
        method=${methods[$(((i + pass - 1) % ${#methods[@]}))]}
        step "Conversions, pass $pass of $passes: $method (load $(cut -d' ' -f1 /proc/loadavg))"
        withLoad "$raw/$method-$pass" convertWith "$method" "$pass"
    done
done

if [ "$conversionsOnly" != 1 ]; then
step "The walk alone: 100,000 empty files in 10,000 folders, through the window and without it"
mkdir -p "$work/walk" "$work/thumbs/walk"
(cd "$work/walk" && mkdir -p d{00..99}/e{00..99} &&
    printf '%s\n' d{00..99}/e{00..99}/f{0..9}.pdf | xargs touch)
find "$work/walk" -iname '*.pdf' | wc -l >"$raw/find.count"
for run in 1 2 3; do
    start=${EPOCHREALTIME/./}
    find "$work/walk" -iname '*.pdf' >/dev/null
    end=${EPOCHREALTIME/./}
    awk -v us=$((end - start)) 'BEGIN { print us / 1e6 }' >>"$raw/find.times"
    "$bin/leafmark-bench-window" quiet --pdfs "$work/walk" --out "$raw/quiet-$run"
    "$bin/leafmark-bench-window" run --idle --untimed --pdfs "$work/walk" \
        --thumbs "$work/thumbs/walk" --time-limit "$walkLimit" --out "$raw/walk-untimed-$run" 2>/dev/null
done
"$bin/leafmark-bench-window" yield-cost --out "$raw/yield-cost" 2>/dev/null
step "The walk through the window once more, with a clock at every yield point"
"$bin/leafmark-bench-window" run --idle --pdfs "$work/walk" --thumbs "$work/thumbs/walk" \
    --time-limit "$walkLimit" --out "$raw/walk-window" 2>/dev/null

step "Memory over $memoryFiles conversions"
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -dSeed=7 -dPaths=20 \
    -o "$work/small.pdf" bench/corpus/drawing.ps
for i in $(seq 0 $((memoryFiles - 1))); do
    printf '%s/memory/%02d/small-%04d.pdf\n' "$work" $((i / 100)) "$i"
done >"$work/memory.list"
sed "s|/[^/]*$||" "$work/memory.list" | sort -u | xargs mkdir -p
xargs -n1 ln "$work/small.pdf" <"$work/memory.list"
mkdir -p "$work/thumbs/memory"
"$bin/leafmark-bench-window" run --pdfs "$work/memory" --thumbs "$work/thumbs/memory" \
    --warmup "$work/warmup" --sample-every 100 --out "$raw/memory" 2>/dev/null
fi

printf '%s, %s cores, %s; load average %s at the start, %s at the end\n' \
    "$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)" "$(nproc)" \
    "$(. /etc/os-release && echo "$PRETTY_NAME")" "$loadAtStart" \
    "$(cut -d' ' -f1-3 /proc/loadavg)" >"$raw/machine.txt"
# Kept, so that bench/analyse.py can be run again on them.
rm -rf build-bench/bench-raw
cp -r "$raw" build-bench/bench-raw
python3 bench/analyse.py "$raw" "$results" "$passes"
step "Took $((SECONDS / 60)) min $((SECONDS % 60)) s"
