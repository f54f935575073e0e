#!/usr/bin/env bash
# Installs the Debian packages Leafmark needs, when missing.
#   bash scripts/deps.sh            to build, run and test it
#   bash scripts/deps.sh --program  to build and run it only
#   bash scripts/deps.sh --bench    to build, run and test it, and run the benchmark
set -euo pipefail

program=(
    cmake g++ make pkg-config
    qt6-base-dev libgl-dev libqt6svg6
    libmagickwand-6.q16-dev ghostscript libgs-dev potrace
    libseccomp-dev libfontconfig-dev
    fonts-open-sans
)
tests=(
    python3 clang clang-format libclang-rt-14-dev ninja-build ccache
    xvfb xauth imagemagick xdotool openbox dbus-daemon weston qt6-wayland
    dpkg-dev file desktop-file-utils appstream lintian
    poppler-utils fonts-arphic-uming
)
# Documentation packages rich in PDFs from many producers (pdfTeX, XeTeX and
# LuaTeX with CID fonts, R, ReportLab, DocBook), for the identity check.
bench=(gnuplot-nox at-spi2-core python3-pyatspi libglib2.0-bin qpdf img2pdf
    auto-multiple-choice-doc-pdf texlive-fonts-recommended-doc texlive-latex-recommended-doc
    texlive-humanities-doc texlive-metapost-doc texlive-latex-base-doc python-reportlab-doc
    r-doc-pdf gri-pdf-doc camlidl-doc freefem-doc why3-doc-pdf siscone-doc-pdf
    docbook-xsl-doc-pdf)

case "${1:-}" in
    "") packages=("${program[@]}" "${tests[@]}") ;;
    --program) packages=("${program[@]}") ;;
    --bench) packages=("${program[@]}" "${tests[@]}" "${bench[@]}") ;;
    *) echo "usage: $0 [--program | --bench]" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' \
        || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "Run as root, or install sudo." >&2; exit 1; }
    as_root=(sudo)
fi
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
