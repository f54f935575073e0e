#!/usr/bin/env python3
"""Reads what bench/run.sh measured, prints the table and the targets, and
writes table.md, per-file.tsv and plot.png into the results folder."""

import csv
import statistics
import subprocess
import sys
from pathlib import Path

# Key, title, and whether its conversions run one after the other over the
# benchmark's corpus (so that each PDF has a time of its own there).
METHODS = [
    ("window-one", "Leafmark run, today's path (a gs per PDF), 1 core (taskset -c 0: pool of 1)", True),
    ("window-all", "Leafmark run, today's path, all {cores} cores (pool of {cores})", False),
    ("warm-one", "Leafmark run, warm Ghostscript, 1 core (taskset -c 0: pool of 1)", True),
    ("warm-all", "Leafmark run, warm Ghostscript, all {cores} cores (pool of {cores})", False),
    ("bare", "Bare sequential loop (the product's conversion code, one process, today's path)", True),
    ("bare-one", "Bare sequential loop, 1 core (taskset -c 0)", True),
    ("bare-warm", "Bare sequential loop, warm Ghostscript", True),
    ("convert", "convert, one process per PDF, one after the other", True),
    ("convert-all", "convert, one process per PDF, {cores} at once (xargs -P {cores})", False),
    ("pdftoppm", "pdftoppm -singlefile -scale-to-x, one process per PDF", True),
    ("loaded-window-one", "Beside {cores} busy processes: Leafmark run, today's path, 1 core", False),
    ("loaded-window-all", "Beside {cores} busy processes: Leafmark run, today's path, all cores", False),
    ("loaded-warm-one", "Beside {cores} busy processes: Leafmark run, warm, 1 core", False),
    ("loaded-warm-all", "Beside {cores} busy processes: Leafmark run, warm, all cores", False),
    ("loaded-convert-all", "Beside {cores} busy processes: convert, xargs -P {cores}", False),
]
# Over Debian's documentation PDFs instead: the bare loop, today's path and warm.
DOCS_METHODS = [
    ("docs-bare", "Debian's documentation: bare sequential loop, today's path", False),
    ("docs-bare-warm", "Debian's documentation: bare sequential loop, warm Ghostscript", False),
]
PLOT_KEYS = {
    "window-one": "Leafmark, 1 core", "window-all": "Leafmark, {cores} cores",
    "bare": "bare loop", "bare-one": "bare loop, 1 core", "convert": "convert per file",
    "convert-all": "convert per file, xargs -P {cores}", "pdftoppm": "pdftoppm per file",
    "warm-one": "Leafmark warm, 1 core", "warm-all": "Leafmark warm, {cores} cores",
    "bare-warm": "bare loop, warm",
}
SEQUENTIAL = [key for key, _, sequential in METHODS if sequential]
ALL_METHODS = METHODS + DOCS_METHODS


def read_summary(path):
    values = {}
    for line in Path(path).read_text().splitlines():
        key, _, value = line.partition("\t")
        values[key] = value
    return values


def read_rows(path):
    with open(path, newline="") as table:
        return list(csv.DictReader(table, delimiter="\t"))


def kind_of(path):
    for folder, kind in (("/letters/", "text"), ("/reports/", "text"), ("/deep/", "text"),
                         ("/scans/", "scan"), ("/drawings/", "drawing"),
                         ("/books/", "many pages"), ("/mixed/", "mixed")):
        if folder in path:
            return kind
    return "other"


def plural(count, word="pass", words="passes"):
    return word if count == 1 else words


def verdict(holds):
    return "holds" if holds else "FAILS"


class Run:
    """One method in one pass: its whole time, its files, and the machine's load."""

    def __init__(self, raw, method, number):
        prefix = raw / f"{method}-{number}"
        summary = read_summary(f"{prefix}.summary")
        self.files = read_rows(f"{prefix}.files.tsv")
        self.seconds = float(summary["seconds_total"])
        self.count = int(summary["files"])
        self.cpu = float(summary["cpu_seconds"])
        self.failed = sum(1 for row in self.files if row["ok"] != "1")
        load = read_summary(f"{prefix}.load")
        # Cores kept busy by the other programs on the machine while the method ran.
        self.others = max(0.0, (float(load["busy_seconds"]) - float(load["own_seconds"]))
                          / float(load["wall_seconds"]))
        self.summary = summary


def read_runs(raw, passes):
    return {method: [Run(raw, method, number) for number in range(1, passes + 1)]
            for method, _, _ in ALL_METHODS}


def ratios(runs, method, against="bare"):
    """Per pass, the method's whole time over the other's in the same pass."""
    return [mine.seconds / theirs.seconds for mine, theirs in zip(runs[method], runs[against])]


def spread(values):
    return f"{min(values):.3f}–{max(values):.3f}" if len(values) > 1 else f"{values[0]:.3f}"


def title_of(method, cores):
    return next(title for key, title, _ in ALL_METHODS if key == method).format(cores=cores)


def conversion_table(runs, cores):
    lines = ["| Method | PDFs (failed) | whole run, s | × bare loop (today's path, same PDFs) | "
             "× bare, each pass | "
             "s/PDF | CPU s/PDF | cores used | other load, cores |",
             "|---|---|---|---|---|---|---|---|---|"]
    for method, _, _ in ALL_METHODS:
        mine = runs[method]
        seconds = statistics.median(run.seconds for run in mine)
        count = mine[0].count
        failed = max(run.failed for run in mine)
        cpu = statistics.median(run.cpu / run.count for run in mine)
        others = statistics.median(run.others for run in mine)
        used = statistics.median(run.cpu / run.seconds for run in mine)
        per_pass = ratios(runs, method, "docs-bare" if method.startswith("docs-") else "bare")
        lines.append(f"| {title_of(method, cores)} | {count} ({failed}) | {seconds:.1f} | "
                     f"{statistics.median(per_pass):.3f} | {spread(per_pass)} | "
                     f"{seconds / count:.3f} | {cpu:.3f} | {used:.2f} | {others:.2f} |")
    return lines


def best_times(runs):
    """Per sequential method and PDF, the best time over the passes: the one
    least disturbed by other work on the machine."""
    best = {}
    for method in SEQUENTIAL:
        best[method] = {}
        for run in runs[method]:
            for row in run.files:
                seconds = float(row["seconds"])
                best[method][row["path"]] = min(seconds, best[method].get(row["path"], seconds))
    return best


def kind_table(best):
    kinds = sorted({kind_of(path) for path in best["bare"]})
    lines = ["| Kind | PDFs | " + " | ".join(SEQUENTIAL) + " |",
             "|---|---|" + "---|" * len(SEQUENTIAL)]
    for kind in kinds:
        paths = [path for path in best["bare"] if kind_of(path) == kind]
        cells = [f"{statistics.median(best[method][p] for p in paths):.3f}"
                 for method in SEQUENTIAL]
        lines.append(f"| {kind} | {len(paths)} | " + " | ".join(cells) + " |")
    return lines


def quietest_pass(runs, passes):
    """The pass in which the other programs on the machine took the least."""
    return min(range(passes), key=lambda p: sum(runs[m][p].others for m, _, _ in METHODS))


def write_plot(runs, results, passes, cores):
    shown = quietest_pass(runs, passes)
    data = results / "per-file.tsv"
    with open(data, "w") as out:
        out.write("method\tdone\tfinished\tok\tkind\tpath\n")
        for method in PLOT_KEYS:
            rows = sorted(runs[method][shown].files, key=lambda row: float(row["finished"]))
            out.write(f"{method}\t0\t0\t1\t\t\n")
            for done, row in enumerate(rows, 1):
                out.write(f"{method}\t{done}\t{float(row['finished']):.4f}\t{row['ok']}\t"
                          f"{kind_of(row['path'])}\t{Path(row['path']).name}\n")
            out.write("\n\n")
    load = statistics.mean(runs[m][shown].others for m, _, _ in METHODS)
    series = ", ".join(
        f"'{data}' index {index} using 3:2 with steps linewidth 2 title '{PLOT_KEYS[m].format(cores=cores)}'"
        for index, m in enumerate(PLOT_KEYS))
    script = f"""
set terminal pngcairo size 1000,560 font ',10'
set output '{results / "plot.png"}'
set title 'Thumbnails made against time, pass {shown + 1} of {passes} (the quietest: other programs kept {load:.2f} cores busy on average)'
set xlabel 'seconds since the start'
set ylabel 'thumbnails made'
set grid
set key bottom right box opaque
plot {series}
"""
    subprocess.run(["gnuplot"], input=script, text=True, check=True)
    return shown


def conversion_targets(runs, cores):
    lines = []
    all_cores = ratios(runs, "window-all")
    one_core = ratios(runs, "window-one")
    one_core_like = ratios(runs, "window-one", "bare-one")
    against_xargs = ratios(runs, "window-all", "convert-all")
    scaling = ratios(runs, "window-all", "window-one")
    bare_scaling = ratios(runs, "convert-all", "convert")
    passes = len(all_cores)
    median = statistics.median
    lines.append(f"- Whole run on all {cores} cores at most 0.52 × the bare sequential loop: "
                 f"{verdict(median(all_cores) <= 0.52)} ({median(all_cores):.3f} ×, median of "
                 f"{passes} {plural(passes)}; each pass {spread(all_cores)})")
    lines.append(f"- Whole run on all {cores} cores faster than convert on all cores "
                 f"(xargs -P {cores}): {verdict(median(against_xargs) < 1)} "
                 f"({median(against_xargs):.3f} × its time; faster in "
                 f"{sum(1 for r in against_xargs if r < 1)} of {passes} {plural(passes)}; "
                 f"convert on all cores is {median(ratios(runs, 'convert-all')):.3f} × the bare loop)")
    lines.append(f"- Whole run on 1 core at most 1.03 × the bare sequential loop: "
                 f"{verdict(median(one_core) <= 1.03)} ({median(one_core):.3f} ×; each pass "
                 f"{spread(one_core)}; against the bare loop on 1 core too: "
                 f"{median(one_core_like):.3f} ×)")
    lines.append(f"- On {cores} cores close to 1/{cores} of 1 core: the whole run on {cores} cores "
                 f"takes {median(scaling):.3f} × its time on 1 core (1/{cores} = {1 / cores:.3f}; "
                 f"each pass {spread(scaling)}); convert on {cores} cores takes "
                 f"{median(bare_scaling):.3f} × its time one after the other")
    # CPU time hardly depends on what else the machine does: what a run on
    # free cores would cost, whatever the load while it was measured.
    cpu = [mine.cpu / theirs.cpu for mine, theirs in zip(runs["window-all"], runs["bare"])]
    cpu_one = [mine.cpu / theirs.cpu for mine, theirs in zip(runs["window-one"], runs["bare"])]
    lines.append(f"  - CPU time, which the other programs change little: the whole run on {cores} "
                 f"cores uses {median(cpu):.3f} × the bare loop's, on 1 core {median(cpu_one):.3f} ×")
    return lines


def cpu_ratios(runs, method, against):
    return [mine.cpu / mine.count / (theirs.cpu / theirs.count)
            for mine, theirs in zip(runs[method], runs[against])]


def warm_targets(runs, cores):
    median = statistics.median
    lines = []
    corpus_cpu = cpu_ratios(runs, "bare-warm", "bare")
    docs_cpu = cpu_ratios(runs, "docs-bare-warm", "docs-bare")
    all_cores = ratios(runs, "warm-all")
    one_core = ratios(runs, "warm-one")
    xargs = ratios(runs, "warm-all", "convert-all")
    loaded_xargs = ratios(runs, "loaded-warm-all", "loaded-convert-all")
    today_xargs = ratios(runs, "window-all", "convert-all")
    today_loaded_xargs = ratios(runs, "loaded-window-all", "loaded-convert-all")
    lines.append(f"- Warm, CPU per PDF at most 0.6 × the bare loop's over the benchmark corpus: "
                 f"{verdict(median(corpus_cpu) <= 0.6)} ({median(corpus_cpu):.3f} ×; each pass "
                 f"{spread(corpus_cpu)})")
    lines.append(f"- Warm, CPU per PDF at most 0.45 × the bare loop's over Debian's documentation "
                 f"({runs['docs-bare'][0].count} PDFs): {verdict(median(docs_cpu) <= 0.45)} "
                 f"({median(docs_cpu):.3f} ×; each pass {spread(docs_cpu)})")
    lines.append(f"- Warm, whole run on all {cores} cores at most 0.3 × the bare loop: "
                 f"{verdict(median(all_cores) <= 0.3)} ({median(all_cores):.3f} ×; each pass "
                 f"{spread(all_cores)})")
    lines.append(f"- Warm, whole run on all {cores} cores at least 1.7 × faster than xargs -P {cores} "
                 f"convert: {verdict(1 / median(xargs) >= 1.7)} ({1 / median(xargs):.2f} × faster; "
                 f"each pass {spread([1 / r for r in xargs])}; today's path: "
                 f"{1 / median(today_xargs):.2f} ×)")
    lines.append(f"- Warm, whole run on 1 core at most 0.6 × the bare loop: "
                 f"{verdict(median(one_core) <= 0.6)} ({median(one_core):.3f} ×; each pass "
                 f"{spread(one_core)})")
    lines.append(f"- Beside {cores} busy processes, warm against xargs -P {cores} convert no worse "
                 f"than on a quiet machine: {verdict(median(loaded_xargs) <= median(xargs) * 1.05)} "
                 f"({median(loaded_xargs):.3f} × its time loaded, {median(xargs):.3f} × quiet; "
                 f"today's path {median(today_loaded_xargs):.3f} × loaded, "
                 f"{median(today_xargs):.3f} × quiet)")
    return lines


def walk_targets(raw):
    lines = []
    if not (raw / "find.times").exists():
        return ["- Walk alone: not measured in this run"]
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
    return lines


def memory_targets(raw):
    if not (raw / "memory.summary").exists():
        return ["- Memory over many conversions: not measured in this run"]
    memory = read_summary(raw / "memory.summary")
    # Each sample is the window's line, then one line per worker alive then.
    samples = []
    for row in read_rows(raw / "memory.memory.tsv"):
        if row["process"] == "window":
            samples.append({"conversions": int(row["conversions"]), "window": int(row["kib"]),
                            "workers": {}})
        else:
            samples[-1]["workers"][row["pid"]] = int(row["kib"]) / 1024
    window = [sample["window"] for sample in samples]
    growth = (window[-1] - window[0]) / 1024
    # The first sample is taken before the run, with the workers of the warm-up.
    during = samples[1:]
    workers = {}
    for sample in during:
        for pid, mib in sample["workers"].items():
            workers.setdefault(pid, []).append(mib)
    described = "; ".join(
        f"pid {pid}: {mib[0]:.1f} → {mib[-1]:.1f} MiB, peak {max(mib):.1f}, in {len(mib)} samples"
        for pid, mib in workers.items())
    most_at_once = max((len(sample["workers"]) for sample in during), default=0)
    peak = max((max(mib) for mib in workers.values()), default=0)
    growth_within = max((max(mib) - min(mib) for mib in workers.values()), default=0)
    every = during[0]["conversions"] if during else 0
    return [
        f"- Window's process grows by less than 20 MB over {memory['files']} conversions: "
        f"{verdict(growth < 20)} ({window[0] / 1024:.1f} → {window[-1] / 1024:.1f} MiB, "
        f"{growth:+.1f} MiB; peak {max(window) / 1024:.1f} MiB over {len(window)} samples, one "
        f"every {every} conversions)",
        f"- Each worker stays bounded: {verdict(growth_within < 20)} ({len(workers)} worker "
        f"{plural(len(workers), 'process', 'processes')} over the run, at most {most_at_once} at "
        f"once, peak {peak:.1f} MiB each, none grew by more than {growth_within:.1f} MiB; "
        f"{described})",
    ]


def gap_targets(raw):
    if not (raw / "walk-window.summary").exists():
        return ["- Gaps between yield points: not measured in this run"]
    runs = [("corpus runs", sorted(raw.glob("window-one-*.summary"))
             + sorted(raw.glob("window-all-*.summary"))),
            ("memory run", [raw / "memory.summary"]), ("walk run", [raw / "walk-window.summary"])]
    parts = []
    worst_cpu = 0.0
    for name, paths in runs:
        summaries = [read_summary(path) for path in paths]
        wall = max(float(s["longest_gap_ms"]) for s in summaries)
        cpu = max(float(s["longest_gap_cpu_ms"]) for s in summaries)
        over = sum(int(s["gaps_over_20ms"]) for s in summaries)
        worst_cpu = max(worst_cpu, cpu)
        parts.append(f"{name}: {wall:.1f} ms wall clock ({over} gaps over 20 ms), "
                     f"{cpu:.1f} ms of the window thread's CPU time")
    return [f"- No gap over 20 ms between yield points outside the converter: "
            f"{verdict(worst_cpu <= 20)} by CPU time; " + "; ".join(parts)]


def main():
    raw, results, passes = Path(sys.argv[1]), Path(sys.argv[2]), int(sys.argv[3])
    results.mkdir(parents=True, exist_ok=True)
    runs = read_runs(raw, passes)
    cores = int(runs["window-all"][0].summary["pool_size"])
    machine = (raw / "machine.txt").read_text().strip()
    others = statistics.mean(run.others for mine in runs.values() for run in mine)
    best = best_times(runs)
    shown = write_plot(runs, results, passes, cores)
    report = [f"Measured on: {machine}", "",
              f"Conversions: {runs['bare'][0].count} PDFs, thumbnail width 88 px, {passes} "
              f"{plural(passes)}, each method once a pass, each pass in another order. A whole "
              f"run is timed from the first conversion's start to the last one's end (for the "
              f"window, from the click on \"Create thumbnails\" to the end of the run); its ratio "
              f"to the bare loop is taken within each pass, then the median over the passes. "
              f"Other programs kept {others:.2f} of the {cores} cores busy on average while the "
              f"methods ran (last column: during that method, median over the passes). "
              f"Cores used: the method's own CPU time over its wall time.", ""]
    report += conversion_table(runs, cores)
    report += ["", "Median seconds per PDF by kind, best of the passes, for the methods that convert "
               "one PDF after the other:", ""]
    report += kind_table(best)
    report += ["", f"The plot shows pass {shown + 1}.", "", "Targets:", ""]
    report += conversion_targets(runs, cores) + warm_targets(runs, cores)
    report += walk_targets(raw) + memory_targets(raw)
    report += gap_targets(raw)
    text = "\n".join(report) + "\n"
    (results / "table.md").write_text(text)
    print(text)


if __name__ == "__main__":
    main()
