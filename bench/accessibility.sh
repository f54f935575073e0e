#!/usr/bin/env bash
# What Leafmark costs and says with accessibility on, as a screen reader user
# meets it: on an X display (Xvfb) under a window manager, with a session bus
# and an AT-SPI bus of their own.
#  - a run over a tree of empty PDFs (20,000 by default; the idle converter, so
#    that only the walk and the window count) with accessibility off, on, and on
#    with a listener subscribed to every event as a screen reader is;
#  - a run started from the keyboard (Tab to "Create thumbnails", Space) over
#    19 PDFs: where the focus goes, how many focus events the run sends;
#  - the same over 300 PDFs, with Space, Enter or Escape pressed during the run:
#    whether it cancels;
#  - with Orca installed, what Orca says after Space, for a whole run, a
#    cancelled one and a failed check.
# Prints a table and writes it to bench/results/accessibility.md. Needs the
# packages of scripts/deps.sh --bench; Orca (orca) is optional.
# Settings: LEAFMARK_BENCH_A11Y_ENTRIES (20000); LEAFMARK_BENCH_BIN, a folder
# holding leafmark, leafmark-worker and leafmark-bench-window to measure
# instead of building them (to compare two versions).
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
entries=${LEAFMARK_BENCH_A11Y_ENTRIES:-20000}
python=/usr/bin/python3
launcher=/usr/libexec/at-spi-bus-launcher

step() { printf '== %s\n' "$*" >&2; }

# With a listener subscribed to every event, as a screen reader is.
listening() {
    local ready=$work/listening status=0
    rm -f "$ready"
    "$python" "$repo/bench/accessibility/listen.py" "$ready" >"$work/events.tsv" &
    local listener=$!
    for _ in $(seq 100); do [ -e "$ready" ] && break; sleep 0.1; done
    "$@" || status=$?
    kill -TERM "$listener"
    wait "$listener" || true
    return "$status"
}

# The program with a settings file of its own beside it, as a user left it.
keyboardRun() { # pdf folder, key pressed during the run, seconds to stay open after it
    local app=$work/app
    rm -rf "$app" "$work/out"
    mkdir -p "$app" "$work/out"
    cp "$bin/leafmark" "$bin/leafmark-worker" "$app/"
    printf '[config]\nPDFfolder=%s\nImageFolder=%s\nThumbWidth=88\n' "$1" "$work/out" \
        >"$app/settings.ini"
    QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
        "$python" "$repo/bench/accessibility/keyboard_run.py" "$app/leafmark" "$2" 120 "${3:-0}"
}

# Those two run inside the desktop as this script again, with work and bin
# from the environment: the programs in between pass on no shell functions.
case "${1:-}" in
--listening) shift; listening "$@"; exit ;;
--keyboard-run) shift; keyboardRun "$@"; exit ;;
esac

for tool in cmake xvfb-run openbox xdotool dbus-run-session gdbus gs "$launcher"; do
    command -v "$tool" >/dev/null || { echo "bench/accessibility.sh: $tool is missing" >&2; exit 1; }
done
"$python" -c 'import pyatspi' 2>/dev/null \
    || { echo "bench/accessibility.sh: python3-pyatspi is missing" >&2; exit 1; }

bin=${LEAFMARK_BENCH_BIN:-}
if [ -z "$bin" ]; then
    step "Building into build-bench/"
    cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF >/dev/null
    cmake --build build-bench --parallel "$(nproc)" \
        --target leafmark leafmark-worker leafmark-bench-window >/dev/null
    bin=$repo/build-bench/bin
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/leafmark-a11y.XXXXXX")
trap 'rm -rf "$work"' EXIT
export work bin
self=$repo/bench/accessibility.sh

# Runs a command on a display of its own under openbox, with a session bus and
# an AT-SPI bus.
desktop() {
    xvfb-run --auto-servernum --server-args="-screen 0 1280x1024x24" \
        dbus-run-session -- bash -c '
        export XDG_RUNTIME_DIR=$(mktemp -d) HOME=$(mktemp -d)
        "$0" --launch-immediately >/dev/null 2>&1 &
        for _ in $(seq 50); do
            gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
                --method org.a11y.Bus.GetAddress >/dev/null 2>&1 && break
            sleep 0.1
        done
        openbox --sm-disable >/dev/null 2>&1 &
        sleep 1
        "$@"' "$launcher" "$@" 2>/dev/null
}


step "Making a tree of $entries empty PDFs"
tree=$work/tree
"$python" - "$tree" "$entries" <<'EOF'
import os, sys
root, count = sys.argv[1], int(sys.argv[2])
for i in range(count):
    folder = os.path.join(root, "f%03d" % (i // 100))
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, "doc%05d.pdf" % i), "w").close()
EOF
mkdir -p "$work/thumbs"

# Seconds of one run of the real window over the tree.
timedRun() { # name, then environment settings
    local name=$1
    shift
    desktop env QT_QPA_PLATFORM=xcb "$@" "$bin/leafmark-bench-window" run --idle --untimed \
        --pdfs "$tree" --thumbs "$work/thumbs" --out "$work/$name"
    grep -q "^status	Done. $entries PDF files found" "$work/$name.summary" \
        || { echo "bench/accessibility.sh: the $name run did not end as it should" >&2; exit 1; }
    awk -F'\t' '$1 == "seconds_total" { print $2 }' "$work/$name.summary"
}

step "Runs over $entries entries"
off=$(timedRun off)
on=$(timedRun on QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
heard=$(timedRun heard QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 bash "$self" --listening)
events=$(awk -F'\t' '{ n += $2 } END { print n + 0 }' "$work/events.tsv")

step "Runs started from the keyboard"
gs -q -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -o "$work/blank.pdf" -c showpage
for count in 19 300; do
    mkdir -p "$work/pdf$count"
    for i in $(seq -w 1 "$count"); do cp "$work/blank.pdf" "$work/pdf$count/doc$i.pdf"; done
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
field() { awk -F'\t' -v key="$1" '$1 == key { print $2 }'; }
desktop bash "$self" --keyboard-run "$work/pdf19" none >"$work/keyboard19.tsv"
for key in space Return Escape; do
    desktop bash "$self" --keyboard-run "$work/pdf300" "$key" >"$work/cancel-$key.tsv"
done

orcaSays=()
if command -v orca >/dev/null; then
    step "What Orca says"
    # Orca's own debug log, written line by line, so that nothing is lost
    # when it is stopped.
    sed "s/open(args.debug_file, 'w')/open(args.debug_file, 'w', buffering=1)/" "$(command -v orca)" \
        >"$work/orca"
    for case in "pdf19 none" "pdf300 space" "missing none"; do
        set -- $case
        desktop env self="$self" python="$python" bash -c '
            "$python" "$work/orca" --debug-file="$work/orca-$0.log" >/dev/null 2>&1 &
            orca=$!
            sleep 6
            bash "$self" --keyboard-run "$work/$0" "$1" 15 >/dev/null
            sleep 5
            timeout 10 "$python" "$work/orca" --quit >/dev/null 2>&1 || true
            kill -KILL "$orca" 2>/dev/null || true' "$1" "$2"
        said=$(sed -n "s/.*SPEECH OUTPUT: \('.*'\) *{'established.*/\1/p" "$work/orca-$1.log" \
            | sed -n "/^'space /,\$p" | tail -n +2 | paste -sd' ' -)
        orcaSays+=("$1: $said")
    done
fi

table=$(
    printf '| Measure | Value |\n|---|---|\n'
    printf '| Run over %s entries, accessibility off | %.2f s |\n' "$entries" "$off"
    printf '| Same, accessibility on | %.2f s (%sx) |\n' "$on" "$(ratio "$on" "$off")"
    printf '| Same, on, with a listener for every event | %.2f s (%sx), %s events |\n' \
        "$heard" "$(ratio "$heard" "$off")" "$events"
    printf '| Focus after a keyboard start | %s |\n' "$(field 'focus after start' <"$work/keyboard19.tsv")"
    printf '| Focus events during a run of 19 files | %s |\n' \
        "$(field 'focus events during the run' <"$work/keyboard19.tsv")"
    printf '| Focus at its end | %s |\n' "$(field 'focus at the end' <"$work/keyboard19.tsv")"
    for key in space Return Escape; do
        printf '| %s during a run of 300 files | %s |\n' "$key" \
            "$(field 'status at the end' <"$work/cancel-$key.tsv")"
    done
    for said in "${orcaSays[@]}"; do
        printf '| Orca after Space, %s |\n' "${said/: / | }"
    done
)
mkdir -p bench/results
{
    echo "# Accessibility"
    echo
    echo "Measured by bench/accessibility.sh on $(date -u +%Y-%m-%d), $(nproc) cores," \
        "load $(cut -d' ' -f1-3 /proc/loadavg)."
    echo
    echo "$table"
} >bench/results/accessibility.md
echo "$table"
