#!/usr/bin/env bash
# Regenerates docs/screenshot.png and docs/screenshot-preview.png: runs the
# real window under Xvfb with openbox, on sample photos this script draws,
# with the folders given on the command line, types a name as a user would,
# and captures the window; then moves that photo, types the same name for the
# next one, so the line under the name shows the number it would get, and
# opens the Edit menu, which offers to undo the move.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh --screenshot
cmake --preset release >/dev/null
cmake --build --preset release --target shoebox >/dev/null

work=$(mktemp -d /tmp/shoebox-screenshot-XXXXXX)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# Landscapes in a few strokes: a sky gradient, a sun or moon, two layers of
# land. Names with blanks and accents, as a camera card after a holiday.
source_folder="$work/Pictures/Card 2024-07"
mkdir -p "$source_folder" "$work/Pictures/Sorted"
photo() { # name sky-top sky-bottom sun far-land near-land
    convert -size 1600x1067 "gradient:$2-$3" \
        -fill "$4" -draw "circle 1120,520 1120,440" \
        -fill "$5" -draw "polygon 0,690 260,600 520,660 840,560 1160,650 1600,590 1600,1067 0,1067" \
        -fill "$6" -draw "polygon 0,850 420,780 900,860 1300,800 1600,840 1600,1067 0,1067" \
        -quality 90 "$source_folder/$1"
}
photo "IMG_2041 plage à Étretat.jpg" "#f27d52" "#ffd59e" "#fff4c2" "#2f7a99" "#1d4d63"
photo "IMG_2042 Abend am Meer.jpg" "#37306b" "#f0937a" "#ffe3a3" "#315a7d" "#1a2f45"
photo "IMG_2043 Bergwiese.jpg" "#4a90d9" "#cfe8ff" "#fffbe0" "#8c9aa8" "#4f8f3a"
photo "IMG_2044 forêt.jpg" "#7fb3d5" "#e8f4ea" "#ffffff" "#2e6b3f" "#1f4a2b"
photo "IMG_2045 Dünen.jpg" "#5aa0e0" "#f6e7c1" "#fff7d6" "#d9a45b" "#b5793a"

# A fresh settings folder: the window opens at its own size.
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
mkdir -p "$HOME"
unset WAYLAND_DISPLAY
export QT_QPA_PLATFORM=xcb

exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1320x900x24 -nolisten tcp &
pids+=($!)
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
export DISPLAY=":$(cat "$work/display")"
openbox &
pids+=($!)

build/release/bin/shoebox "$source_folder" "$work/Pictures/Sorted" 2>"$work/shoebox.log" &
pids+=($!)
window=$(timeout 90 xdotool search --sync --onlyvisible --name '^Shoebox$' | head -1 || true)
if [[ -z "$window" ]]; then
    echo "screenshot: the Shoebox window did not appear; it said:" >&2
    cat "$work/shoebox.log" >&2
    exit 1
fi
xdotool windowsize "$window" 1200 820
xdotool windowmove "$window" 40 30
sleep 2 # the photo decodes off the UI thread
xdotool windowactivate --sync "$window"
xdotool key --window "$window" alt+1
xdotool type --delay 20 "Holidays 2024"
xdotool key --window "$window" alt+n
xdotool type --delay 20 "Sunset at the beach"
sleep 1
import -window "$window" docs/screenshot.png
echo "wrote docs/screenshot.png"

xdotool key --window "$window" Return
sleep 2 # the next photo decodes
xdotool key --window "$window" alt+n ctrl+a
xdotool type --delay 20 "Sunset at the beach"
sleep 1
xdotool key --window "$window" alt+e
sleep 1
# The open menu is a window of its own: -screen captures what the screen
# shows where the main window is, the menu over it included.
import -screen -window "$window" docs/screenshot-preview.png
echo "wrote docs/screenshot-preview.png"
