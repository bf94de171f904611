#!/usr/bin/env bash
# The plug-in in GIMP's own window on an X server (tests/gui/with_xvfb.sh):
# GIMP reads Script-Fu from a pipe, one command at a time, and xdotool acts as
# the user. Checks: each procedure's run is one undo step that restores the
# image exactly (GIMP has no undo in its procedure database, so Ctrl+Z goes to
# the image window); an interactive run opens the preview window, whose OK
# writes the pattern into the drawable and whose Cancel leaves it unchanged.
#   with SW_GIMP_PLUGIN, SW_TESTDATA_DIR
source "$(dirname "$0")/../e2e/lib/e2e.bash"
if ! command -v gimp-2.10 >/dev/null 2>&1; then
    echo "the GIMP tests need gimp-2.10 (scripts/bootstrap installs gimp)" >&2
    [ -n "${SW_CI:-}" ] && exit 1
    exit 77
fi
export GIMP2_DIRECTORY="$tmp/gimp" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache"
mkdir -p "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp" "$GIMP2_DIRECTORY/gradients"
cp "$SW_GIMP_PLUGIN" "$GIMP2_DIRECTORY/plug-ins/spotweave-gimp/" || exit 1
sample="$data/astronaut_512x512_rgb.png"
cd "$tmp" || exit 1

mkfifo "$tmp/commands"
gimp-2.10 -n -d -f -s -b - <"$tmp/commands" >"$tmp/gimp.log" 2>&1 &
gimp=$!
exec 5>"$tmp/commands"
stop_gimp() {
    echo "(gimp-quit 1)" >&5
    exec 5>&-
    local i
    for i in $(seq 100); do kill -0 $gimp 2>/dev/null || return 0; sleep 0.1; done
    kill $gimp
}

# ---- talking to GIMP --------------------------------------------------------------------------
# Script-Fu has no variables across commands, so each command names the image
# by its number; it ends by creating a marker file that says it is through.
step=0
run() { # run EXPR... : evaluates the expressions and waits (up to 2 minutes) until they are through
    step=$((step + 1))
    local marker="$tmp/step$step" i
    echo "(begin $* (close-output-port (open-output-file \"$marker\")))" >&5
    for i in $(seq 1200); do [ -e "$marker" ] && return 0; sleep 0.1; done
    echo "GIMP did not finish: $*" >&2
    return 1
}
image=1 # the first image GIMP opens
layer="(car (gimp-image-get-active-drawable $image))"
save() { run "(gimp-file-save RUN-NONINTERACTIVE $image $layer \"$tmp/$1\" \"$tmp/$1\")"; }
same_pixels() { cmp -s <(pngtopnm "$1" 2>/dev/null) <(pngtopnm "$2" 2>/dev/null); }
image_window() { xdotool search --name '^\*?astronaut_512x512_rgb\.png.*GIMP$' | head -1; }
# Ctrl+Z in the image window, then waits (up to 10 s) for the image to be
# the sample again; the key travels apart from the commands.
undo_restores() {
    xdotool key --window "$(image_window)" ctrl+z
    local i
    for i in $(seq 20); do
        save undone.png && same_pixels undone.png "$sample" && return 0
        sleep 0.5
    done
    return 1
}

# ---- the preview window -------------------------------------------------------------------------
win=""
open_preview() {
    win=$(timeout 60 xdotool search --sync --onlyvisible --name '^spot/weave$' | head -1)
    [ -n "$win" ]
}
# Preparation shows text on the view's dark background; then the pattern
# (black and white, mean well above it) fills the middle.
preview_ready() {
    local i mean
    for i in $(seq 240); do
        mean=$(xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pamcut -left 220 -top 150 -width 200 \
            -height 100 | ppmtopgm | pamsumm -mean -brief | cut -d. -f1)
        [ "${mean:-0}" -gt 80 ] && return 0
        sleep 0.5
    done
    return 1
}
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
# Share of pixels near black or white, in percent.
bw_percent() { pngtopnm "$1" 2>/dev/null | ppmtopgm | pnmtoplainpnm |
    awk 'NR > 3 { for (i = 1; i <= NF; i++) { n++; if ($i < 48 || $i > 207) bw++ } }
    END { print int(100 * bw / n) }'; }
# Starts an interactive run; its command ends once the preview window closes.
interactive() {
    step=$((step + 1))
    echo "(begin (catch #f (plug-in-spotweave RUN-INTERACTIVE $image $layer 0 0))
        (close-output-port (open-output-file \"$tmp/step$step\")))" >&5
}
through() { local i; for i in $(seq 600); do [ -e "$tmp/step$step" ] && return 0; sleep 0.1; done; return 1; }

check "GIMP opens the sample in a window" run "(gimp-display-new (car (gimp-file-load RUN-NONINTERACTIVE \"$sample\" \"$sample\")))"
check "the image window is there" test -n "$(image_window)"

# ---- one undo step each --------------------------------------------------------------------------
run "(plug-in-spotweave RUN-NONINTERACTIVE $image $layer 20 128) (gimp-displays-flush)"
save pattern.png
check "pattern: the image changed" differ <(pngtopnm pattern.png 2>/dev/null) <(pngtopnm "$sample" 2>/dev/null)
check "pattern: one undo restores the original exactly" undo_restores
run "(plug-in-spotweave-lines RUN-NONINTERACTIVE $image $layer 3 3 5 5 8 8 2 0.98 0.9999) (gimp-displays-flush)"
save lines.png
check "lines: the image changed" differ <(pngtopnm lines.png 2>/dev/null) <(pngtopnm "$sample" 2>/dev/null)
check "lines: one undo restores the original exactly" undo_restores

# ---- interactive: OK and Cancel -------------------------------------------------------------------
interactive
check "interactive: the preview window opens" open_preview
check "interactive: the pattern grows" preview_ready
click 160 446
check "OK: the run ends" through
save ok.png
check "OK: a black-and-white pattern in the drawable" test "$(bw_percent ok.png)" -gt 60
check "OK: the image keeps its size" test "$(png_size ok.png)" = "512 512"
check "OK: one undo restores the original exactly" undo_restores

interactive
open_preview && preview_ready
click 480 446
check "Cancel: the run ends" through
save cancelled.png
check "Cancel: the drawable is unchanged" same_pixels cancelled.png "$sample"

stop_gimp
if [ $fails -gt 0 ]; then
    grep -v "^$\|pixmap\|^ts>" "$tmp/gimp.log" | tail -20 >&2
fi
e2e_finish
