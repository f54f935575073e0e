#!/usr/bin/env bash
# What the worker's confinement costs per PDF: the benchmark corpus converted
# by the tests' worker confined and unconfined, PDF by PDF in turn
# (bench/confinement/drive.py), over several passes. Prints each pass and the
# ratios of the totals, confined over unconfined, for wall time and for the
# CPU time of the worker and everything it started.
# Needs a build with the tests: cmake --build BUILD --target leafmark-worker-probe.
# Usage: bench/confinement/run.sh [BUILD] (build/ by default); LEAFMARK_BENCH_PASSES (3);
# LEAFMARK_BENCH_BEFORE=<another tree's worker> compares the two workers, both confined;
# LEAFMARK_BENCH_WORKER=leafmark-worker then takes the installed worker of BUILD instead of
# the tests' one (only the tests' worker can run unconfined); LEAFMARK_BENCH_CORPUS=<folder>
# takes the PDFs there instead of making the benchmark corpus.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${1:-build}
passes=${LEAFMARK_BENCH_PASSES:-3}
name=${LEAFMARK_BENCH_WORKER:-leafmark-worker-probe}
worker=$(find "$build" -maxdepth 3 -type f -name "$name" | head -n 1)
[ -x "$worker" ] || { echo "run.sh: no $name under $build" >&2; exit 1; }
[ "$name" = leafmark-worker-probe ] || [ -n "${LEAFMARK_BENCH_BEFORE:-}" ] ||
    { echo "run.sh: only leafmark-worker-probe runs unconfined; set LEAFMARK_BENCH_BEFORE" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-confinement-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
corpus=${LEAFMARK_BENCH_CORPUS:-$work/corpus}
[ -n "${LEAFMARK_BENCH_CORPUS:-}" ] || bash bench/corpus/make-corpus.sh "$corpus" >/dev/null
find "$corpus" -iname '*.pdf' | sort >"$work/corpus.list"
head -n 5 "$work/corpus.list" >"$work/warmup.list"
mkdir -p "$work/thumbs"
echo "worker: $worker${LEAFMARK_BENCH_BEFORE:+ against $LEAFMARK_BENCH_BEFORE}"
echo "corpus: $(wc -l <"$work/corpus.list") PDFs, $passes passes; load at start: $(cut -d' ' -f1-3 /proc/loadavg)"

before=(${LEAFMARK_BENCH_BEFORE:+"$LEAFMARK_BENCH_BEFORE"})
python3 bench/confinement/drive.py "$worker" "$work/warmup.list" "$work/thumbs" "${before[@]}" >/dev/null
printf '%-5s %-11s %8s %8s %6s\n' pass mode wall-s cpu-s failed
for pass in $(seq 1 "$passes"); do
    python3 bench/confinement/drive.py "$worker" "$work/corpus.list" "$work/thumbs" "${before[@]}" |
        while read -r mode wall cpu failed; do
            printf '%-5s %-11s %8s %8s %6s\n' "$pass" "$mode" "$wall" "$cpu" "$failed"
        done
done | tee "$work/passes"
if [ ${#before[@]} -eq 0 ]; then
    awk '{ wall[$2] += $3; cpu[$2] += $4 }
         END { printf "confined / unconfined, all passes: wall %.3f, cpu %.3f\n",
                      wall["confined"] / wall["unconfined"], cpu["confined"] / cpu["unconfined"] }' \
        "$work/passes"
else
    awk '{ wall[$2] += $3; cpu[$2] += $4 }
         END { printf "after / before, all passes: wall %.3f, cpu %.3f\n",
                      wall["after"] / wall["before"], cpu["after"] / cpu["before"] }' \
        "$work/passes"
fi
echo "load at end: $(cut -d' ' -f1-3 /proc/loadavg)"
