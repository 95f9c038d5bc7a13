#!/usr/bin/env bash
# The installed layout and the Debian package, checked as a newcomer's machine would see them:
# the desktop entry, the AppStream data and the user unit validate; `cpack` makes a .deb whose
# library dependencies dpkg-shlibdeps derived; and the program unpacked from it (dpkg -x, no
# root needed) prints its version and runs a headless cycle with the test camera.
# Usage: check_package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
pid=""
cleanup() {
    if [ -n "$pid" ]; then kill -KILL "$pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

desktop-file-validate "$source_dir/resources/desktop/org.pixlet.Pixlet.desktop"
appstreamcli validate --no-net "$build_dir/packaging/org.pixlet.Pixlet.metainfo.xml"
echo "== package"
(cd "$build_dir" && cpack -G DEB -B "$work/cpack" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/cpack/pixlet_*.deb)
echo "$(basename "$deb"): $(du -k "$deb" | cut -f1) KB"
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
# Derived, not written by hand: these come from the libraries the program links.
for library in libqt6core6 libqt6widgets6 libgstreamer1.0-0 libcurl4 libturbojpeg0 libc6; do
    grep -q "$library" <<<"$depends" || fail "no $library among the dependencies"
done
grep -q "gstreamer1.0-plugins-good" <<<"$depends" || fail "the run-time GStreamer elements are not required"
# Every dependency is a package this system's apt knows, at a version it has (no root needed).
apt-get install -s "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt would not install the package"; }

dpkg -x "$deb" "$work/root"
root=$work/root
for file in usr/bin/pixlet usr/share/applications/org.pixlet.Pixlet.desktop \
    usr/share/metainfo/org.pixlet.Pixlet.metainfo.xml usr/lib/systemd/user/pixlet@.service \
    usr/share/icons/hicolor/scalable/apps/org.pixlet.Pixlet.svg usr/share/doc/pixlet/README.md; do
    [ -f "$root/$file" ] || fail "$file is not in the package"
done
for size in 16 22 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/org.pixlet.Pixlet.png" ] || fail "no ${size}px icon"
done
unit=$root/usr/lib/systemd/user/pixlet@.service
grep -q "^ExecStart=pixlet --headless " "$unit" || fail "the unit does not start pixlet --headless"
if command -v systemd-analyze >/dev/null; then
    # The unit's ExecStart is found on systemd's search path; here it names the unpacked program.
    mkdir -p "$work/units"
    sed "s|ExecStart=pixlet|ExecStart=$root/usr/bin/pixlet|" "$root/usr/lib/systemd/user/pixlet@.service" \
        >"$work/units/pixlet@cam1.service"
    # Checked as a system unit: a user manager is not running here, and the syntax is the same.
    systemd-analyze verify "$work/units/pixlet@cam1.service" 2>"$work/verify.log" ||
        { cat "$work/verify.log"; fail "the user unit does not verify"; }
fi

echo "== installed program"
"$root/usr/bin/pixlet" --version | grep -q "^Pixlet [0-9]" || fail "pixlet --version"
data=$work/data/
mkdir -p "$data/archive"
cat >"$data/Pixlet.ini" <<INI
SourceType = 1
SourceVideoDeviceID = pixlet-test-camera
ArchiveRootDirectory = ${data}archive/
ArchiveSubdirectoryAndFilename = <HH><MM><SS>.jpg
ArchiveSaveDelay = 0
ControlEnableArchive = Yes
ControlProcessCollectionType = 0
ControlProcessCycleTime = 1
ControlStartOnLoad = Yes
INI
PIXLET_TEST_CAMERA=1 "$root/usr/bin/pixlet" --headless --data-dir "$data" >"$work/pixlet.out" 2>&1 &
pid=$!
for _ in $(seq 60); do
    if ls "$data/archive/" | grep -q '\.jpg$'; then break; fi
    kill -0 "$pid" 2>/dev/null || { cat "$work/pixlet.out"; fail "the installed program ended by itself"; }
    sleep 0.5
done
archived=$(ls "$data/archive/" | grep -c '\.jpg$' || true)
kill -TERM "$pid"
for _ in $(seq 40); do kill -0 "$pid" 2>/dev/null || break; sleep 0.25; done
kill -0 "$pid" 2>/dev/null && fail "the installed program did not end within 10 s of SIGTERM"
wait "$pid" || fail "the installed program ended with status $?"
pid=""
[ "$archived" -gt 0 ] || { tail -20 "$work/pixlet.out"; fail "no picture archived within 30 s"; }
grep -q "Archive - Archived OK" "$work/pixlet.out" || { cat "$work/pixlet.out"; fail "no 'Archived OK' among its lines"; }
echo "headless cycle from the package: $archived picture(s) archived"
echo "package checks passed"
