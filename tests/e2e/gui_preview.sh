#!/usr/bin/env bash
# The preview windows of spotweave-host and spotweave view, driven with xdotool: growth,
# painting, pause, save, OK and Cancel. Screenshots go to $SW_SHOTS_DIR.
source "$(dirname "$0")/lib/e2e.bash"
host="$SW_BIN_DIR/spotweave-host"
cli="$SW_BIN_DIR/spotweave"
prog="$host"
export XDG_DESKTOP_DIR="$tmp/desktop" XDG_CONFIG_HOME="$tmp/config"
mkdir -p "$tmp/desktop" "$tmp/bin" "$tmp/saved"
# The save panel answers with the next name in $tmp/saved.
cat >"$tmp/bin/zenity" <<EOF
#!/bin/sh
n=\$(ls "$tmp/saved" | wc -l)
echo "$tmp/saved/\$n.png"
EOF
chmod +x "$tmp/bin/zenity"
export PATH="$tmp/bin:$PATH"
cd "$tmp" || exit 1
# Under the sanitizers (SW_SLOW=1) the pattern has not settled when OK comes: looks unchecked.
looks() { [ "${SW_SLOW:-0}" = 0 ]; }

# ---- window helpers ------------------------------------------------------------------
win=""
open_window() { # waits for the preview window, sets win
    win=$(timeout 60 xdotool search --sync --onlyvisible --name '^spot/weave$' | head -1)
    [ -n "$win" ]
}
shot() { xwd -id "$win" -silent | xwdtopnm 2>/dev/null | pnmtopng >"$1"; }
keep() { [ -n "${SW_SHOTS_DIR:-}" ] && cp "$1" "$SW_SHOTS_DIR/"; return 0; }
# Mean brightness of a rectangle of a picture (PNG or PNM).
mean() { pngtopnm "$1" 2>/dev/null | pamcut -left "$2" -top "$3" -width "$4" -height "$5" |
    ppmtopgm | pamsumm -mean -brief; }
# Share of pixels near black or white, in percent, in a rectangle.
bw_percent() { pngtopnm "$1" 2>/dev/null | pamcut -left "$2" -top "$3" -width "$4" -height "$5" |
    ppmtopgm | pnmtoplainpnm | awk 'NR > 3 { for (i = 1; i <= NF; i++) { n++; if ($i < 48 || $i > 207) bw++ } }
    END { print int(100 * bw / n) }'; }
# Settled: two looks half a second apart barely differ; gives up after half a minute.
wait_settled() {
    local i
    shot "$tmp/a.png"
    for i in $(seq 60); do
        sleep 0.5
        shot "$tmp/b.png"
        pamarith -difference <(pngtopnm "$tmp/a.png") <(pngtopnm "$tmp/b.png") | pnmtopng >"$tmp/d.png"
        [ "$(mean "$tmp/d.png" 20 20 600 380 | cut -d. -f1)" -lt 8 ] && return 0
        mv "$tmp/b.png" "$tmp/a.png"
    done
    return 1
}
# Ready: the bright pattern has replaced the preparing text on the dark view.
wait_ready() {
    local i
    for i in $(seq 240); do
        shot "$tmp/now.png"
        [ "$(mean "$tmp/now.png" 220 150 200 100 | cut -d. -f1)" -gt 80 ] && return 0
        sleep 0.5
    done
    return 1
}
appears() { # waits for a file to exist and be non-empty
    local i
    for i in $(seq 100); do [ -s "$1" ] && return 0; sleep 0.1; done
    return 1
}
click() { xdotool mousemove --window "$win" "$1" "$2" click 1; }
ok() { click 160 446; }
cancel() { click 480 446; }
# Clicks $1 until the program ends (early clicks are lost); stops it after $2 tries.
press_until_gone() {
    local i
    for i in $(seq "$2"); do
        "$1" 2>/dev/null
        sleep 0.1
        kill -0 "$pid" 2>/dev/null || return 0
    done
    kill "$pid" 2>/dev/null
    return 1
}
drag() { xdotool mousemove --window "$win" 200 200 mousedown 1 \
    mousemove --window "$win" 230 200 mousemove --window "$win" 260 200 \
    mousemove --window "$win" 290 200 mouseup 1; }

# ---- spotweave-host: a 2048 x 1536 photo, scaled down and back -------------------------
"$host" "$data/mountains_2048x1536.jpg" big.png >host.out 2>host.err &
pid=$!
check "host: the window opens" open_window
shot preparing.png && keep preparing.png
check "host: preparation finishes" wait_ready
xdotool key p
sleep 0.5
shot paused.png && keep paused.png
xdotool key s
check "host: S saves through the panel" appears saved/0.png
check "host: S saves the simulation picture" test "$(png_size saved/0.png)" = "1024 768"
xdotool key p
wait_settled
shot running.png && keep running.png
ok
wait $pid
check "host: OK exits 0" test $? -eq 0
check "host: OK writes the filter area's size" test "$(png_size big.png)" = "2048 1536"
looks && check "host: OK writes a black-and-white pattern" test "$(bw_percent big.png 0 0 2048 1536)" -gt 60

# ---- spotweave-host with a filter rectangle ---------------------------------------------
cp "$data/astronaut_512x512_rgb.png" in.png
"$host" --rect 100,50,300,200 in.png rect.png 2>/dev/null &
pid=$!
open_window && wait_ready
ok
wait $pid
check "rect: OK exits 0" test $? -eq 0
check "rect: the document keeps its size" test "$(png_size rect.png)" = "512 512"
looks && check "rect: the rectangle holds the pattern" test "$(bw_percent rect.png 100 50 300 200)" -gt 60
outside=$(mean in.png 0 300 512 212)
check "rect: outside it the document is unchanged" test -n "$outside" -a \
    "$(mean rect.png 0 300 512 212)" = "$outside"

# ---- Cancel ------------------------------------------------------------------------------
"$host" in.png cancelled.png 2>/dev/null &
pid=$!
open_window && wait_ready
cancel
wait $pid
check "cancel: exits with the cancel status" test $? -eq 3
check "cancel: writes nothing" test ! -e cancelled.png

# ---- spotweave view -----------------------------------------------------------------------
"$cli" view in.png -o viewed.png >/dev/null 2>&1 &
pid=$!
open_window && wait_ready
wait_settled || echo "note the pattern still moves; comparing anyway"
rm -f saved/*
xdotool key p
xdotool key s
check "view: S saves" appears saved/0.png
xdotool key p
drag
sleep 0.5
xdotool key p
xdotool key s
check "view: S saves again" appears saved/1.png
# At zoom 1 the 512 x 512 simulation sits centred in the 620 x 402 view at
# (10, 10): the drag crossed cells (136..226, 245). That band changed much
# more than a band far from it.
pamarith -difference <(pngtopnm saved/0.png) <(pngtopnm saved/1.png) | pnmtopng >diff.png
painted=$(mean diff.png 130 225 110 40 | cut -d. -f1)
elsewhere=$(mean diff.png 300 420 110 40 | cut -d. -f1)
looks && check "view: the drag painted where it went ($painted vs $elsewhere)" \
    test "${painted:-0}" -gt $((${elsewhere:-0} * 3 + 5))
xdotool key p
wait_settled
ok
wait $pid
check "view: OK exits 0" test $? -eq 0
check "view: OK writes the picture's size" test "$(png_size viewed.png)" = "512 512"
looks && check "view: a black-and-white pattern" test "$(bw_percent viewed.png 0 0 512 512)" -gt 60
"$cli" view in.png -o notviewed.png >/dev/null 2>&1 &
pid=$!
open_window && press_until_gone cancel 300
wait $pid
check "view: cancel exits 3 and writes nothing" test $? -eq 3 -a ! -e notviewed.png
"$cli" view "$data/mountains_2048x1536.jpg" -o early.png >/dev/null 2>early.err &
pid=$!
open_window && press_until_gone ok 300 # while the flow is still being prepared
wait $pid
check "view: OK before the first pattern exits 3 and writes nothing" test $? -eq 3 -a ! -e early.png
check "view: ... and says so" grep -q "no pattern yet" early.err
# ---- frame budget: a 1024 x 1024 photo, frames while the simulation iterates ------------
"$cli" resize "$data/mountains_2048x1536.jpg" --size 1024x1024 -o m1024.png >/dev/null
SPOTWEAVE_FRAME_STATS=1 "$cli" view m1024.png -o m1024-out.png >/dev/null 2>stats.err &
pid=$!
open_window && wait_ready
sleep 5
ok
wait $pid
grep -E '^(frames|simulation):' stats.err | sed 's/^/info /'
check "frame statistics are reported" grep -q '^frames: [1-9]' stats.err
err=$(DISPLAY= "$cli" view in.png -o x.png 2>&1 >/dev/null)
check "view: without a display one line and status 3" test $? -eq 3 -a "$(wc -l <<<"$err")" -eq 1
e2e_finish
