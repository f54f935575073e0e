#!/usr/bin/env python3
"""Reads what bench/run.sh measured, prints the table and the targets, and
writes table.md, per-file.tsv and plot.png into the results folder."""

import csv
import statistics
import subprocess
import sys
from pathlib import Path

METHODS = [
    ("window", "Leafmark run (real window + worker)"),
    ("bare", "ImageMagick in-process loop (ConvertImageCommand)"),
    ("convert", "convert, one process per PDF"),
    ("pdftoppm", "pdftoppm -singlefile -scale-to-x, one process per PDF"),
]


def read_summary(path):
    values = {}
    for line in Path(path).read_text().splitlines():
        key, _, value = line.partition("\t")
        values[key] = value
    return values


def read_times(path):
    with open(path, newline="") as table:
        return {row["path"]: (float(row["seconds"]), row["ok"] == "1")
                for row in csv.DictReader(table, delimiter="\t")}


def kind_of(path):
    for folder, kind in (("/letters/", "text"), ("/reports/", "text"), ("/deep/", "text"),
                         ("/scans/", "scan"), ("/drawings/", "drawing"),
                         ("/books/", "many pages"), ("/mixed/", "mixed")):
        if folder in path:
            return kind
    return "other"


def conversions(raw, passes):
    """Per method and PDF, the best time over the passes (the one least
    disturbed by other work on the machine), and whether every pass succeeded."""
    best, ok, cpu = {}, {}, {}
    for method, _ in METHODS:
        best[method], ok[method], cpu_per_file = {}, {}, []
        for run in range(1, passes + 1):
            prefix = raw / f"{method}-{run}"
            for path, (seconds, succeeded) in read_times(f"{prefix}.files.tsv").items():
                best[method][path] = min(seconds, best[method].get(path, seconds))
                ok[method][path] = succeeded and ok[method].get(path, True)
            summary = read_summary(f"{prefix}.summary")
            cpu_per_file.append(float(summary["cpu_seconds"]) / int(summary["files"]))
        cpu[method] = statistics.median(cpu_per_file)
    return best, ok, cpu


def conversion_table(best, ok, cpu):
    bare_median = statistics.median(best["bare"].values())
    bare_mean = statistics.mean(best["bare"].values())
    lines = ["| Method | PDFs (failed) | median s/PDF | × bare | mean s/PDF | × bare | CPU s/PDF |",
             "|---|---|---|---|---|---|---|"]
    for method, title in METHODS:
        times = list(best[method].values())
        failed = sum(1 for succeeded in ok[method].values() if not succeeded)
        median, mean = statistics.median(times), statistics.mean(times)
        lines.append(f"| {title} | {len(times)} ({failed}) | {median:.3f} | "
                     f"{median / bare_median:.3f} | {mean:.3f} | {mean / bare_mean:.3f} | "
                     f"{cpu[method]:.3f} |")
    return lines


def kind_table(best):
    kinds = sorted({kind_of(path) for path in best["bare"]})
    lines = ["| Kind | PDFs | " + " | ".join(method for method, _ in METHODS) + " |",
             "|---|---|" + "---|" * len(METHODS)]
    for kind in kinds:
        paths = [path for path in best["bare"] if kind_of(path) == kind]
        cells = [f"{statistics.median(best[method][p] for p in paths):.3f}"
                 for method, _ in METHODS]
        lines.append(f"| {kind} | {len(paths)} | " + " | ".join(cells) + " |")
    return lines


def write_plot(best, results, passes):
    paths = sorted(best["bare"], key=lambda path: best["bare"][path])
    data = results / "per-file.tsv"
    with open(data, "w") as out:
        out.write("rank\t" + "\t".join(method for method, _ in METHODS) + "\tkind\tpath\n")
        for rank, path in enumerate(paths, 1):
            out.write(f"{rank}\t" + "\t".join(f"{best[m][path]:.4f}" for m, _ in METHODS)
                      + f"\t{kind_of(path)}\t{Path(path).name}\n")
    series = ", ".join(
        f"'{data}' using 1:{column} with linespoints pointtype 7 pointsize 0.6 title '{title}'"
        for column, (_, title) in enumerate(METHODS, 2))
    script = f"""
set terminal pngcairo size 1000,560 font ',10'
set output '{results / "plot.png"}'
set title 'Time per PDF, best of {passes} {plural(passes)}; PDFs in order of ImageMagick''s own time'
set xlabel 'PDF (ordered by the in-process ImageMagick loop)'
set ylabel 'seconds per PDF'
set logscale y
set grid ytics mytics
set key top left box opaque
plot {series}
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)


def plural(passes):
    return "pass" if passes == 1 else "passes"


def verdict(holds):
    return "holds" if holds else "FAILS"


def targets(raw, best):
    lines = []
    bare = best["bare"]
    window = best["window"]
    median_ratio = statistics.median(window.values()) / statistics.median(bare.values())
    mean_ratio = statistics.mean(window.values()) / statistics.mean(bare.values())
    paired = statistics.median(window[p] / bare[p] for p in bare)
    extra_ms = statistics.median(window[p] - bare[p] for p in bare) * 1e3
    below_convert = statistics.median(window.values()) < statistics.median(best["convert"].values())
    # A run's time per PDF is its whole time over its PDFs: the mean.
    lines.append(f"- Whole run's time per PDF at most 1.05 × the bare loop: {verdict(mean_ratio <= 1.05)}"
                 f" ({mean_ratio:.3f} ×; per PDF, the median ratio is {paired:.3f} and the median "
                 f"difference {extra_ms:+.1f} ms; the ratio of the two medians is {median_ratio:.3f})")
    lines.append(f"- Whole run below the convert-per-file loop: {verdict(below_convert)}"
                 f" (median {statistics.median(window.values()):.3f} s against "
                 f"{statistics.median(best['convert'].values()):.3f} s)")

    find_runs = [float(x) for x in (raw / "find.times").read_text().split()]
    find_files = int((raw / "find.count").read_text())
    find_entry = statistics.median(find_runs) / find_files
    quiet = [read_summary(path) for path in sorted(raw.glob("quiet-*.summary"))]
    quiet_entry = statistics.median(float(q["seconds_total"]) / int(q["files"]) for q in quiet)
    # Timed as a whole, with no clock at the yield points: the median of three runs.
    walks = [read_summary(path) for path in sorted(raw.glob("walk-untimed-*.summary"))]
    walk = sorted(walks, key=lambda w: float(w["seconds_total"]) / int(w["files"]))[len(walks) // 2]
    walk_files = int(walk["files"])
    walk_entry = float(walk["seconds_total"]) / walk_files
    walk_note = (f"cancelled by a click after {float(walk['seconds_total']):.0f} s, at "
                 f"{walk_files:,} of {find_files:,} entries" if walk["cancelled_at_time_limit"] == "1"
                 else f"all {walk_files:,} entries in {float(walk['seconds_total']):.1f} s")
    lines.append(f"- Walk alone at most 3 × find: {verdict(walk_entry <= 3 * find_entry)} through the "
                 f"window ({walk_entry * 1e6:,.0f} µs per entry, {walk_entry / find_entry:,.0f} × find; "
                 f"{walk_note}, median of {len(walks)} runs); "
                 f"{verdict(quiet_entry <= 3 * find_entry)} for the walk without a window "
                 f"({quiet_entry * 1e6:.1f} µs per entry, {quiet_entry / find_entry:.2f} × find). "
                 f"find: {find_entry * 1e6:.1f} µs per entry")
    clocked = read_summary(raw / "walk-window.summary")
    yields_per_entry = int(clocked["yield_points"]) / int(clocked["files"])
    cost = read_summary(raw / "yield-cost.summary")
    yield_us = float(cost["seconds_total"]) / int(cost["yields"]) * 1e6
    lines.append(f"  - The yield points alone: {yields_per_entry:.1f} per entry at {yield_us:.1f} µs each "
                 f"with nothing to do = {yields_per_entry * yield_us:.1f} µs per entry, "
                 f"{yields_per_entry * yield_us / (find_entry * 1e6):.1f} × find")

    memory = read_summary(raw / "memory.summary")
    with open(raw / "memory.memory.tsv", newline="") as table:
        samples = list(csv.DictReader(table, delimiter="\t"))
    window_growth = (int(memory["window_kib_after"]) - int(memory["window_kib_before"])) / 1024
    worker_peak = max(int(s["worker_kib"]) for s in samples) / 1024
    worker_pids = sorted({s["worker_pid"] for s in samples})
    lines.append(f"- Window's process grows by less than 20 MB over {memory['files']} conversions: "
                 f"{verdict(window_growth < 20)} ({int(memory['window_kib_before']) / 1024:.1f} → "
                 f"{int(memory['window_kib_after']) / 1024:.1f} MiB, {window_growth:+.1f} MiB)")
    lines.append(f"- Worker stays bounded: {int(memory['worker_kib_before']) / 1024:.1f} → "
                 f"{int(memory['worker_kib_after']) / 1024:.1f} MiB, peak {worker_peak:.1f} MiB, "
                 f"{len(worker_pids)} worker process(es) over the run")

    runs = [("corpus runs", sorted(raw.glob("window-*.summary"))),
            ("memory run", [raw / "memory.summary"]), ("walk run", [raw / "walk-window.summary"])]
    gap_parts = []
    worst_cpu = 0.0
    for name, paths in runs:
        summaries = [read_summary(path) for path in paths]
        wall = max(float(s["longest_gap_ms"]) for s in summaries)
        cpu = max(float(s["longest_gap_cpu_ms"]) for s in summaries)
        over = sum(int(s["gaps_over_20ms"]) for s in summaries)
        worst_cpu = max(worst_cpu, cpu)
        gap_parts.append(f"{name}: {wall:.1f} ms wall clock ({over} gaps over 20 ms), "
                         f"{cpu:.1f} ms of the window thread's CPU time")
    lines.append(f"- No gap over 20 ms between yield points outside the converter: "
                 f"{verdict(worst_cpu <= 20)} by CPU time; " + "; ".join(gap_parts))
    return lines


def main():
    raw, results, passes = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3])
    results.mkdir(parents=True, exist_ok=True)
    best, ok, cpu = conversions(raw, passes)
    machine = (raw / "machine.txt").read_text().strip()
    report = [f"Measured on: {machine}", "",
              f"Conversions: {len(best['bare'])} PDFs, best of {passes} {plural(passes)} per PDF and method, "
              f"thumbnail width 88 px.", ""]
    report += conversion_table(best, ok, cpu) + ["", "Median seconds per PDF by kind:", ""]
    report += kind_table(best) + ["", "Targets:", ""] + targets(raw, best)
    text = "\n".join(report) + "\n"
    (results / "table.md").write_text(text)
    write_plot(best, results, passes)
    print(text)


if __name__ == "__main__":
    main()
