#!/usr/bin/env bash
# Takes the gallery's screenshots on an X server: at rest, a button pressed, a
# slider dragged, the popover open, and the colour well dragged on its ring,
# in its square and from its swatch. Run it through the private server:
#
#   tests/gui/with_xvfb.sh tools/ui_gallery_shots.sh BUILD_DIR OUT_DIR
set -eu
build=$1
out=$2
mkdir -p "$out"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
names=(rest button_pressed slider_dragged popover well_ring well_square well_swatch)
"$build/tools/ui_gallery" --frames --shots "$out" "${names[@]}" >"$log" &
gallery=$!

# Polls until the log has a line matching $1, for at most ten seconds.
await() {
    for _ in $(seq 200); do
        grep -q "$1" "$log" && return 0
        kill -0 "$gallery" 2>/dev/null || break
        sleep 0.05
    done
    echo "ui_gallery_shots: gave up waiting for '$1'" >&2
    cat "$log" >&2
    kill "$gallery" 2>/dev/null
    exit 1
}

await '^frame well'
win=$(xdotool search --sync --name 'toolkit gallery' | head -1)
xdotool windowfocus --sync "$win"
frame() { awk -v n="$1" '$1 == "frame" && $2 == n { print $3, $4, $5, $6 }' "$log"; }
at() { xdotool mousemove --sync --window "$win" "$(printf %.0f "$1")" "$(printf %.0f "$2")"; }
shot() { # the n-th F12 writes the n-th name
    xdotool key F12
    await "^shot $out/$1.png"
}
calc() { awk "BEGIN { print $* }"; }

at 990 890
shot rest

read -r x y w h < <(frame ok)
at "$(calc "$x + $w / 2")" "$(calc "$y + $h / 2")"
xdotool mousedown 1
shot button_pressed
xdotool mouseup 1

# The amount slider holds 0.35: its knob is centred 12 + 0.35 of the travel
# into the track, which starts after the 80-point label.
read -r x y w h < <(frame amount)
travel=$(calc "$w - 80 - $h")
at "$(calc "$x + 80 + $h / 2 + 0.35 * $travel")" "$(calc "$y + $h / 2")"
xdotool mousedown 1
at "$(calc "$x + 80 + $h / 2 + 0.8 * $travel")" "$(calc "$y + $h / 2")"
shot slider_dragged
xdotool mouseup 1

read -r x y w h < <(frame options)
at "$(calc "$x + $w / 2")" "$(calc "$y + $h / 2")"
xdotool click 1
shot popover
at 990 890
xdotool click 1 # outside the box: closes it

# The well: ring 30 wide inside its edge, the square in the middle, the
# swatch at the top right.
read -r x y w h < <(frame well)
cx=$(calc "$x + $w / 2")
cy=$(calc "$y + $h / 2")
ring=$(calc "$w / 2 - 15")
at "$(calc "$cx + $ring")" "$cy"
xdotool mousedown 1
at "$(calc "$cx - 0.5 * $ring")" "$(calc "$cy - 0.866 * $ring")"
shot well_ring
xdotool mouseup 1
at "$cx" "$cy"
xdotool mousedown 1
at "$(calc "$cx + 0.3 * $ring")" "$(calc "$cy - 0.1 * $ring")"
shot well_square
xdotool mouseup 1
at "$(calc "$x + 0.925 * $w")" "$(calc "$y + 0.075 * $w")"
xdotool mousedown 1
at "$(calc "$x + 0.925 * $w + 3")" "$(calc "$y + 0.075 * $w")" # the press only picks the mode
shot well_swatch
xdotool mouseup 1

wait "$gallery"
