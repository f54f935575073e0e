#!/usr/bin/env bash
# What the worker's confinement costs per PDF: the benchmark corpus converted
# by the tests' worker (bench/confinement/drive.py), confined and unconfined in
# turn, the order swapped every pass. Prints each pass and the ratios of the
# totals, confined over unconfined, for wall time and for the CPU time of the
# worker and everything it started.
# Needs a build with the tests: cmake --build BUILD --target leafmark-worker-probe.
# Usage: bench/confinement/run.sh [BUILD] (build/ by default); LEAFMARK_BENCH_PASSES (5).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
passes=${LEAFMARK_BENCH_PASSES:-5}
worker=$(find "$build" -maxdepth 3 -type f -name leafmark-worker-probe | head -n 1)
[ -x "$worker" ] || { echo "run.sh: no leafmark-worker-probe under $build" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-confinement-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
bash bench/corpus/make-corpus.sh "$work/corpus" >/dev/null
find "$work/corpus" -iname '*.pdf' | sort >"$work/corpus.list"
mkdir -p "$work/thumbs"
echo "corpus: $(wc -l <"$work/corpus.list") PDFs, $passes passes"

run() { # confined|unconfined
    local mode=()
    [ "$1" = unconfined ] && mode=(off)
    python3 bench/confinement/drive.py "$worker" "$work/corpus.list" "$work/thumbs" "${mode[@]}"
}

run confined >/dev/null # warm the caches; not counted
printf '%-5s %-11s %8s %8s %6s\n' pass mode wall-s cpu-s failed
declare -A wall=([confined]=0 [unconfined]=0) cpu=([confined]=0 [unconfined]=0)
for pass in $(seq 1 "$passes"); do
    order=(confined unconfined)
    [ $((pass % 2)) -eq 0 ] && order=(unconfined confined)
    for mode in "${order[@]}"; do
        read -r w c f < <(run "$mode")
        printf '%-5s %-11s %8s %8s %6s\n' "$pass" "$mode" "$w" "$c" "$f"
        wall[$mode]=$(python3 -c "print(${wall[$mode]} + $w)")
        cpu[$mode]=$(python3 -c "print(${cpu[$mode]} + $c)")
    done
done
python3 -c "print('confined / unconfined, all passes: wall %.3f, cpu %.3f' % (${wall[confined]} / ${wall[unconfined]}, ${cpu[confined]} / ${cpu[unconfined]}))"
