#!/usr/bin/env bash
# Builds the .deb from the build tree, checks what it holds and needs and what
# lintian says of it (when lintian is installed), unpacks it into a throwaway
# root and checks that a program there answers --version, finds its worker and
# keeps its settings in the user's configuration folder.
# Arguments: build folder, probe program, project version.
set -euo pipefail
build=$1
probe=$2
version=$3

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Its own package folder, so that a cpack run elsewhere cannot collide with it.
scratch=$(realpath "$(mktemp -d)")
program=
cleanup() {
    [ -z "$program" ] || kill "$program" 2>/dev/null || true
    chmod -R u+w "$scratch"
    rm -rf "$scratch"
}
trap cleanup EXIT
chmod 755 "$scratch"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack did not build the package"; }
deb="$scratch/out/leafmark_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "expected $(basename "$deb"), got: $(ls "$scratch/out")"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort >"$scratch/files"
sort >"$scratch/expected" <<LIST
./usr/bin/leafmark
./usr/libexec/leafmark/leafmark-worker
./usr/share/applications/leafmark.desktop
./usr/share/doc/leafmark/changelog.gz
./usr/share/doc/leafmark/copyright
./usr/share/man/man1/leafmark.1.gz
./usr/share/icons/hicolor/16x16/apps/leafmark.png
./usr/share/icons/hicolor/32x32/apps/leafmark.png
./usr/share/icons/hicolor/48x48/apps/leafmark.png
./usr/share/icons/hicolor/64x64/apps/leafmark.png
./usr/share/icons/hicolor/128x128/apps/leafmark.png
./usr/share/icons/hicolor/256x256/apps/leafmark.png
./usr/share/icons/hicolor/scalable/apps/leafmark.svg
./usr/share/metainfo/com.example.leafmark.metainfo.xml
LIST
diff -u "$scratch/expected" "$scratch/files" || fail "the package holds other files than expected"

depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libmagickwand-6.q16-6 \
    libmagickcore-6.q16-6-extra ghostscript potrace libqt6svg6; do
    grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
grep -Eq "(^|, )qt6-wayland(,|$)" <<<"$recommends" || fail "Recommends lacks qt6-wayland: $recommends"

if command -v lintian >/dev/null; then
    lintian_root=()
    [ "$(id -u)" -ne 0 ] || lintian_root=(--allow-root)
    lintian --pedantic --fail-on error,warning "${lintian_root[@]}" "$deb" >"$scratch/lintian.log" 2>&1 \
        || { cat "$scratch/lintian.log"; fail "lintian reports errors or warnings"; }
    cat "$scratch/lintian.log"
else
    echo "lintian is not installed: the package is not linted"
fi

root="$scratch/root"
dpkg -x "$deb" "$root"

# Hints count too: the entry is meant to validate without a word.
complaints=$(desktop-file-validate "$root/usr/share/applications/leafmark.desktop" 2>&1) \
    && [ -z "$complaints" ] || fail "desktop entry: $complaints"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.example.leafmark.metainfo.xml" \
    || fail "AppStream metadata"

# The program's folder is read-only to its user, as /usr/bin is; root would
# write there anyway, so root runs the probe as nobody.
config="$scratch/config"
mkdir "$config"
cp "$probe" "$root/usr/bin/leafmark-probe"
chmod a-w "$root/usr/bin"
as_user=()
if [ "$(id -u)" -eq 0 ]; then
    chown nobody "$config"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
# env and setpriv exec what follows them, so that $! is the program itself.
as_installed_user=(env XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=offscreen "${as_user[@]}")
worker="$root/usr/libexec/leafmark/leafmark-worker"
# The fault hook, the escape probe and the switch that turns the confinement
# off are built into the tests' worker only.
for setting in LEAFMARK_WORKER_FAULT LEAFMARK_WORKER_ESCAPE LEAFMARK_WORKER_CONFINEMENT; do
    ! grep -aq "$setting" "$worker" || fail "the installed worker reads $setting"
done

# The program greets its worker before its window loads. A program that finds
# no worker, or one that cannot answer, shows a message box instead, and has
# no worker process at all.
worker_of() {
    local stat parent
    for stat in /proc/[0-9]*/stat; do
        [ "$(readlink "${stat%/stat}/exe" 2>/dev/null)" = "$worker" ] || continue
        read -r _ _ _ parent _ <"$stat" 2>/dev/null || continue
        [ "$parent" = "$1" ] && return 0
    done
    return 1
}
version_line=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/leafmark" --version) \
    || fail "--version failed without a display"
[ "$version_line" = "Leafmark $version" ] || fail "--version printed: $version_line"
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/leafmark" --help | grep -q -- "--version" \
    || fail "--help does not list --version"

# An option it does not know is a script's mistake, told before any window;
# a plain argument is ignored and the window opens.
status=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/leafmark" --no-such-option \
    2>/dev/null || status=$?
[ "$status" -eq 2 ] || fail "an unknown option ended with status $status, not 2"
"${as_installed_user[@]}" "$root/usr/bin/leafmark" stray.pdf >"$scratch/program.log" 2>&1 &
program=$!
for _ in $(seq 100); do
    worker_of "$program" && break
    kill -0 "$program" 2>/dev/null \
        || fail "the unpacked program ended at start-up: $(cat "$scratch/program.log")"
    sleep 0.2
done
worker_of "$program" \
    || fail "the unpacked program did not start the unpacked worker: $(cat "$scratch/program.log")"
sleep 1
kill -0 "$program" 2>/dev/null && worker_of "$program" \
    || fail "the unpacked program or its worker did not stay up"
kill "$program"
wait "$program" 2>/dev/null || true
program=

output=$("${as_installed_user[@]}" "$root/usr/bin/leafmark-probe")
grep -qx "worker=$worker" <<<"$output" || fail "worker not found where installed: $output"
grep -qx "settings=$config/leafmark/settings.ini" <<<"$output" \
    || fail "settings not in the user's configuration folder: $output"
[ "$(cat "$config/leafmark/settings.ini")" = $'[config]\nThumbWidth=88' ] \
    || fail "setting not saved: $(cat "$config/leafmark/settings.ini")"
[ ! -e "$root/usr/bin/settings.ini" ] || fail "settings written beside the installed program"

# Whoever may write the program's folder, as root may /usr/bin, an installed
# copy still keeps its settings in the configuration folder.
chmod u+w "$root/usr/bin"
output=$(env XDG_CONFIG_HOME="$config/writer" "$root/usr/bin/leafmark-probe")
grep -qx "settings=$config/writer/leafmark/settings.ini" <<<"$output" \
    || fail "settings not in the configuration folder of one who may write the program's: $output"
[ ! -e "$root/usr/bin/settings.ini" ] || fail "settings written beside the installed program"

rm "$worker"
output=$("${as_installed_user[@]}" "$root/usr/bin/leafmark-probe")
grep -qx "worker=$root/usr/bin/leafmark-worker" <<<"$output" \
    || fail "a missing worker should be looked for beside the program: $output"

echo "package $(basename "$deb") checked"
