#!/usr/bin/env bash
# A real window on a virtual X server with a tray host: Pixlet starts with a fresh data
# directory, its icon docks, Escape hides the window to the tray, a double-click on the icon
# shows it again, and Exit from the tray menu ends the program. Screenshots go to $2.
# Exit code 77 (skipped) when the X tools are not installed.
set -u
pixlet="$1"
shots="${2:-screenshots}"
fail() { echo "FAILED: $*"; import -window root "$shots/failure.png" 2>/dev/null; exit 1; }
source "$(dirname "$0")/virtual_display.sh"
require_tools Xvfb trayer xdotool xwininfo import
start_virtual_display
# The tray host has been seen to come up slowly on a loaded machine, and once not at all: it
# gets two tries before the test gives up, and its own words are shown if it never appears.
panel_up() { xwininfo -root -tree | grep -q '"panel"'; }
for attempt in 1 2; do
    trayer --edge top --align right --widthtype request --height 32 --transparent false >"$work/trayer.log" 2>&1 &
    tray_pid=$!
    pids+=($tray_pid)
    wait_for 150 panel_up && break
    kill "$tray_pid" 2>/dev/null
done
panel_up || { cat "$work/trayer.log"; fail "the tray host did not start"; }

export XDG_DATA_HOME="$work/data" QT_QPA_PLATFORM=xcb
"$pixlet" >"$work/pixlet.log" 2>&1 &
pixlet_pid=$!
pids+=($pixlet_pid)

# Top-level windows stand five blanks deep in the tree, the docked icon deeper.
main_window() { xwininfo -root -tree | grep -E '^ {5}0x[0-9a-f]+ "Pixlet": \("pixlet"' | awk '{print $1; exit}'; }
tray_icon() { xwininfo -root -tree | grep -E '^ {9,}0x[0-9a-f]+ "Pixlet": \("pixlet"' | awk '{print $1; exit}'; }
mapped() { xwininfo -id "$1" | grep -q 'IsViewable'; }
unmapped() { ! mapped "$1"; }
docked() { test -n "$(tray_icon)"; }

wait_for 100 sh -c "xwininfo -root -tree | grep -q '\"Pixlet\": (\"pixlet\"'" || fail "no Pixlet window"
wait_for 100 docked || fail "the tray icon did not dock"
window=$(main_window)
icon=$(tray_icon)
wait_for 100 mapped "$window" || fail "the first run did not show the window"
test -s "$XDG_DATA_HOME/Quellmoor Software/Pixlet/Pixlet.ini" || fail "the first run wrote no settings file"
sleep 0.5
import -window root "$shots/main-window.png"
# The start-up lines on the Log page (a picture only: the tab's place depends on the style).
eval "$(xdotool getwindowgeometry --shell "$window")"
xdotool mousemove $((X + 488)) $((Y + 24)) click 1
sleep 0.5
import -window root "$shots/log-page.png"
# The Captions page: a first run's two example captions in the editor, the sample below them
# (a picture only, like the Log page's).
xdotool mousemove $((X + 150)) $((Y + 24)) click 1
sleep 1
import -window root "$shots/captions-page.png"

# Real key events (XTEST) to the focused window. A program that has only just mapped its window
# may not take the focus at once, so the key is tried a few times.
hidden=no
for attempt in 1 2 3; do
    xdotool windowfocus --sync "$window" 2>/dev/null
    xdotool key Escape
    if wait_for 100 unmapped "$window"; then hidden=yes; break; fi
done
test "$hidden" = yes || fail "Escape did not hide the window"

eval "$(xdotool getwindowgeometry --shell "$icon")"
cx=$((X + WIDTH / 2)); cy=$((Y + HEIGHT / 2))
import -window root -crop 200x40+824+0 "$shots/tray.png"
xdotool mousemove "$cx" "$cy"
sleep 0.3
xdotool click --repeat 2 --delay 80 1
wait_for 100 mapped "$window" || fail "a double-click on the icon did not show the window"
sleep 0.5
import -window root "$shots/shown-again.png"

xdotool click 3
sleep 0.5
import -window root "$shots/tray-menu.png"
menu=$(xwininfo -root -tree | grep -E '^ {5}0x[0-9a-f]+ .*\("pixlet" "Pixlet"\)' | grep -v "$window" | awk '{print $1; exit}')
test -n "$menu" || fail "the tray menu did not open"
eval "$(xdotool getwindowgeometry --shell "$menu")"
# Exit is the last item of the menu.
xdotool mousemove $((X + WIDTH / 2)) $((Y + HEIGHT - 10)) click 1
wait_for 100 sh -c "! kill -0 $pixlet_pid" || fail "Exit did not end the program"
wait "$pixlet_pid"
status=$?
test "$status" -eq 0 || fail "Pixlet exited with $status"
echo "real window: docked, hid, showed, exited; screenshots in $shots"
