#!/usr/bin/env bash
# The plug-in in GIMP's window (Script-Fu from a pipe, xdotool as the user): each run is one
# undo step, the preview's OK writes the pattern, its Cancel nothing.
source "$(dirname "$0")/../e2e/lib/e2e.bash"
if ! command -v gimp-2.10 >/dev/null 2>&1; then
    echo "the GIMP tests need gimp-2.10 (scripts/bootstrap installs gimp)" >&2
    [ -n "${SW_CI:-}" ] && exit 1
    exit 77
fi
# GEGL keeps its modules' allocations until the plug-in exits: no leak reports.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export GIMP2_DIRECTORY="$tmp/gimp" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
mkdir -p "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp" "$GIMP2_DIRECTORY/gradients"
cp "$SW_GIMP_PLUGIN" "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp/" || exit 1
sample="$data/astronaut_512x512_rgb.png"
cd "$tmp" || exit 1

mkfifo commands
gimp-2.10 -n -d -f -s -b - <commands >gimp.log 2>&1 &
gimp=$!
exec 5>commands
stop_gimp() {
    echo "(gimp-quit 1)" >&5
    exec 5>&-
    local i
    for i in $(seq 100); do kill -0 $gimp 2>/dev/null || return 0; sleep 0.1; done
    kill $gimp
}

# Script-Fu keeps no variables: each command names the image by number and ends by creating
# a marker file that says it is through.
step=0
send() { step=$((step + 1)); echo "(begin $* (close-output-port (open-output-file \"step$step\")))" >&5; }
through() { local i; for i in $(seq 1200); do [ -e "step$step" ] && return 0; sleep 0.1; done; return 1; }
run() { send "$@" && through; }
image=1 # the first image GIMP opens
layer="(car (gimp-image-get-active-drawable $image))"
save() { run "(gimp-file-save RUN-NONINTERACTIVE $image $layer \"$tmp/$1\" \"$tmp/$1\")"; }
same_pixels() { cmp -s <(pngtopnm "$1" 2>/dev/null) <(pngtopnm "$2" 2>/dev/null); }
image_window() { # waits (up to 30 s) for GIMP's image window and prints its id
    timeout 30 xdotool search --sync --onlyvisible --name '^\*?astronaut_512x512_rgb\.png.*GIMP$' |
        head -1
}
# Ctrl+Z in the image window, then waits (up to 10 s) for the image to be the sample again.
undo_restores() {
    xdotool key --window "$(image_window)" ctrl+z
    local i
    for i in $(seq 20); do
        save undone.png && same_pixels undone.png "$sample" && return 0
        sleep 0.5
    done
    return 1
}

win=""
open_preview() {
    win=$(timeout 60 xdotool search --sync --onlyvisible --name '^spot/weave$' | head -1)
    [ -n "$win" ]
}
# Two different bright frames: the pattern is shown and growing (preparing is dark).
preview_ready() {
    local i mean last="" now
    for i in $(seq 240); do
        now=$(xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pamcut -left 220 -top 150 -width 200 \
            -height 100 | ppmtopgm | pamsumm -mean -brief)
        mean=$(cut -d. -f1 <<<"${now:-0}")
        if [ "$mean" -gt 80 ]; then
            [ -n "$last" ] && [ "$now" != "$last" ] && return 0
            last=$now
        fi
        sleep 0.5
    done
    return 1
}
# Whether a picture is grey all over with dark and light parts, as the pattern always is.
grey_pattern() { pngtopnm "$1" 2>/dev/null | pnmtoplainpnm | tr -s ' \n' '\n\n' |
    awk 'NR <= 4 { next } { c[n++ % 3] = $1 }
        n % 3 == 0 { if (c[0] != c[1] || c[0] != c[2]) colour++
                     if (lo == "" || c[0] < lo) lo = c[0]; if (c[0] > hi) hi = c[0] }
        END { exit !(n > 0 && colour == 0 && hi - lo > 100) }'; }
# press WHAT FILE X: runs the pattern interactively, presses the button at X once the pattern
# grows (OK 160, Cancel 480), saves the image as FILE.
press() {
    send "(catch #f (plug-in-spotweave RUN-INTERACTIVE $image $layer 0 0))"
    check "$1: the preview window opens" open_preview
    check "$1: the pattern grows" preview_ready
    xdotool mousemove --window "$win" "$3" 446 click 1
    check "$1: the run ends" through
    save "$2"
}

check "GIMP opens the sample in a window" \
    run "(gimp-display-new (car (gimp-file-load RUN-NONINTERACTIVE \"$sample\" \"$sample\")))"
check "the image window is there" test -n "$(image_window)"

for procedure in "plug-in-spotweave RUN-NONINTERACTIVE $image $layer 20 128" \
    "plug-in-spotweave-lines RUN-NONINTERACTIVE $image $layer 3 3 5 5 8 8 2 0.98 0.9999"; do
    name=${procedure%% *}
    run "($procedure)"
    save "$name.png"
    check "$name: the image changed" differ <(pngtopnm "$name.png" 2>/dev/null) <(pngtopnm "$sample")
    check "$name: one undo restores the original exactly" undo_restores
done

press OK ok.png 160
check "OK: the pattern is in the drawable" grey_pattern ok.png
check "OK: the image keeps its size" test "$(png_size ok.png)" = "512 512"
check "OK: one undo restores the original exactly" undo_restores
press Cancel cancelled.png 480
check "Cancel: the drawable is unchanged" same_pixels cancelled.png "$sample"

stop_gimp
[ $fails -gt 0 ] && grep -v "^$\|pixmap\|^ts>" gimp.log | tail -20 >&2
e2e_finish
