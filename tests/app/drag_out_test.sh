#!/usr/bin/env bash
# Dragging the published picture out of the window, for real: Pixlet on a virtual X server
# processes a dropped photo, the Preview page shows it, a drag that ends inside the main window
# opens nothing, nor does one given up with Escape; a drag that ends on the desktop opens the
# picture's own window there, titled with the cycle's time and within the screen. Screenshots go to $2.
# Exit code 77 (skipped) when the X tools are not installed.
set -u
pixlet="$1"
shots="${2:-screenshots}"
fail() {
    echo "FAILED: $*"
    import -window root "$shots/drag-failure.png" 2>/dev/null
    tail -20 "$work/pixlet.log" 2>/dev/null
    exit 1
}
source "$(dirname "$0")/virtual_display.sh"
require_tools Xvfb xdotool xwininfo import convert
start_virtual_display

export XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb
data="$XDG_DATA_HOME/Quellmoor Software/Pixlet"
mkdir -p "$data" "$work/drop" "$work/archive"
cat >"$data/Pixlet.ini" <<INI
SourceType = 0
SourceFileCollectDirectory = $work/drop
ArchiveRootDirectory = $work/archive
ArchiveSubdirectoryAndFilename = photo.jpg
ArchiveSaveDelay = 0
ControlEnableArchive = Yes
ControlProcessCollectionType = 1
INI
"$pixlet" --start >"$work/pixlet.log" 2>&1 &
pixlet_pid=$!
pids+=($pixlet_pid)

main_window() { xwininfo -root -tree | grep -E '^ {5}0x[0-9a-f]+ "Pixlet": \("pixlet"' | awk '{print $1; exit}'; }
# The picture's own window is titled with the cycle's time, "HH:MM:SS  DD/MM/YYYY".
picture_window() {
    xwininfo -root -tree | grep -E '^ {5}0x[0-9a-f]+ "[0-9]{2}:[0-9]{2}:[0-9]{2}  [0-9]{2}/[0-9]{2}/[0-9]{4}"' |
        awk '{print $1; exit}'
}
mapped() { xwininfo -id "$1" | grep -q 'IsViewable'; }
wait_for 100 sh -c "xwininfo -root -tree | grep -q '\"Pixlet\": (\"pixlet\"'" || fail "no Pixlet window"
window=$(main_window)
wait_for 100 mapped "$window" || fail "the window did not show"

convert -size 320x240 gradient:navy-gold "$work/photo.jpg" || fail "could not make a photo"
mv "$work/photo.jpg" "$work/drop/photo.jpg"
wait_for 150 test -s "$work/archive/photo.jpg" || fail "the photo was not processed"

# The Preview tab (its place as the real-window test finds the Log tab's).
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 430)) $((Y + 24)) click 1
sleep 0.8
import -window root "$shots/preview-page.png"

cx=$((X + WIDTH / 2)); cy=$((Y + HEIGHT / 2 - 20))
# Presses at the picture's middle and drags in steps to (x, y).
drag_to() {
    xdotool mousemove "$cx" "$cy"
    sleep 0.3
    xdotool mousedown 1
    sleep 0.2
    local steps=12
    for ((s = 1; s <= steps; s++)); do
        xdotool mousemove $((cx + ($1 - cx) * s / steps)) $((cy + ($2 - cy) * s / steps))
        sleep 0.05
    done
    sleep 0.3
    [ "${3:-}" = escape ] && { xdotool key Escape; sleep 0.3; }
    xdotool mouseup 1
    sleep 0.8
}

drag_to $((X + 60)) $((Y + HEIGHT - 60))
test -z "$(picture_window)" || fail "a drop inside the main window opened a window"

if ((X + WIDTH + 120 < 1024)); then tx=$((X + WIDTH + 60)); ty=$((Y + 40))
else tx=$((X + 40)); ty=$((Y + HEIGHT + 40)); fi
((ty > 740)) && ty=740
drag_to "$tx" "$ty" escape
test -z "$(picture_window)" || fail "a drag ended with Escape opened a window"
drag_to "$tx" "$ty"
floating=
for ((i = 0; i < 50; i++)); do
    floating=$(picture_window)
    [ -n "$floating" ] && break
    sleep 0.1
done
test -n "$floating" || fail "a drop on the desktop opened no window"
wait_for 50 mapped "$floating" || fail "the picture's window is not shown"
sleep 0.5
import -window root "$shots/floating-window.png"
eval "$(xdotool getwindowgeometry --shell "$floating")"
((X >= 0 && Y >= 0 && X + WIDTH <= 1024 && Y + HEIGHT <= 768)) ||
    fail "the picture's window ($WIDTH x $HEIGHT at $X,$Y) reaches off the screen"
((WIDTH >= 50 && HEIGHT >= 50)) || fail "the picture's window is smaller than 50 x 50"

kill -TERM "$pixlet_pid"
wait_for 100 sh -c "! kill -0 $pixlet_pid" || fail "SIGTERM did not end the program"
wait "$pixlet_pid"
status=$?
test "$status" -eq 0 || fail "Pixlet exited with $status"
echo "drag out: the picture opened in its own window ($WIDTH x $HEIGHT at $X,$Y); screenshots in $shots"
