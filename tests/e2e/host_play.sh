#!/usr/bin/env bash
# spotweave-host driving Spotweave.so: a broken action draws lines, no display cancels,
# bad input gets one message and no output.
source "$(dirname "$0")/lib/e2e.bash"
host="$SW_BIN_DIR/spotweave-host"
prog="$host"
export XDG_DESKTOP_DIR="$tmp/desktop" XDG_CONFIG_HOME="$tmp/config"
mkdir "$tmp/desktop" "$tmp/work"
unset DISPLAY WAYLAND_DISPLAY
cd "$tmp/work" || exit 1

check "help documents the action format" says "Amnt UntF #Prc" "$host" --help
cp "$data/astronaut_512x512_rgb.png" in.png
before=$(md5sum <in.png)
printf '# the amount recorded as the wrong type\nAmnt bool true\n' >broken.action
play() { "$host" --play broken.action "$@" 2>/dev/null; } # play [OPTION...] IN OUT

# ---- the line-drawing road -----------------------------------------------------------
"$host" --selectors --play broken.action --record recorded.action in.png lines.png \
    >stdout 2>stderr
check "broken action: exits 0" test $? -eq 0
check "broken action: a PNG of the input's size" test "$(png_size lines.png)" = "512 512"
"$SW_BIN_DIR/spotweave" lines in.png -o reference.png >/dev/null 2>&1
check "broken action: the plug-in's line drawing" cmp -s lines.png reference.png
check "broken action: input untouched" test "$(md5sum <in.png)" = "$before"
check "broken action: says why" grep -q "descriptor key 'Amnt' holds bool" stderr
check "selectors are listed with their results" test "$(cat stdout)" = "$(printf '%s\n' \
    'selector 2 (prepare): result 0' 'selector 3 (start): result 0' \
    'selector 4 (continue): result 0' 'selector 5 (finish): result 0')"
check "one log line per call" test "$(grep -c '^Selector: [2-5] [0-9.e+-]*$' \
    "$tmp/desktop/Spotweave.log")" -eq 4
check "finish recorded the action" test "$(cat recorded.action)" = "$(printf '%s\n' \
    'Amnt UntF #Prc 50' 'disP enum mooD moD1')"
check "finish kept the registry" grep -q "^ignS bool false$" "$tmp/config/spotweave/registry"

play --planes 3 in.png lines3.png
check "three-plane document: the same drawing" cmp -s lines3.png lines.png
play --depth 16 in.png deep.png
check "16-bit document: written, same size" test "$(png_size deep.png)" = "512 512"
check "16-bit document: not drawn on" differ deep.png lines.png
play deep.png deep-lines.png
check "16-bit document: still holds the photo" cmp -s deep-lines.png lines.png
play --rect 100,120,200,150 in.png part.png
check "filter rectangle: written" test "$(png_size part.png)" = "512 512"
check "filter rectangle: differs from the whole drawing" differ part.png lines.png
play "$SW_BIN_DIR/Spotweave.so" in.png named.png
check "plug-in named on the command line" cmp -s named.png lines.png

# ---- the interactive road without a display ---------------------------------------------
"$host" in.png preview.png >stdout 2>stderr
check "no display: exit status 3 (cancelled), nothing written" test $? -eq 3 -a ! -e preview.png
check "no display: the plug-in says why" grep -q "cannot open a window" stderr
check "no display: the host says cancelled" grep -q "cancelled by the plug-in" stderr
"$host" --play recorded.action in.png replay.png 2>/dev/null
check "a readable action goes for the preview" test $? -eq 3 -a ! -e replay.png
"$host" --about 2>stderr
check "about without a display: says so, exits 0" grep -q "cannot show the about box: no display" stderr

# ---- refusals ------------------------------------------------------------------------------
expect_failure "missing module" "cannot open plug-in" "$tmp/none.so" in.png a.png
printf 'not a module' >fake.so
expect_failure "not a module" "cannot load plug-in" ./fake.so in.png a.png
libc=$(ldd "$host" | awk '/libc\.so/ {print $3}')
expect_failure "module without PluginMain" "exports no PluginMain" "$libc" in.png a.png
expect_failure "missing input" "No such file" none.png a.png
printf 'not a picture' >bad.png
expect_failure "undecodable input" "not an image" bad.png a.png
bomb_bmp bomb.bmp
expect_failure "huge claim" "image too large: 13435069 x 12" bomb.bmp a.png
printf 'P6\n0 0\n255\n' >empty.ppm
expect_failure "zero-size image" "cannot read 'empty.ppm'" empty.ppm a.png
expect_failure "output is input" "is the input" in.png in.png
check "output is input: input untouched" test "$(md5sum <in.png)" = "$before"
expect_failure "output folder missing" "does not exist" in.png no/such/a.png
expect_failure "no output name" "no file name" in.png ""
mkdir o
expect_failure "action is the output, spelt otherwise" "action file must differ" \
    --play broken.action --record o/./a.png in.png o/a.png
expect_failure "action is the played one" "action file must differ" \
    --play broken.action --record ./broken.action in.png o/a.png
expect_failure "output is the played action" "is the played action" \
    --play broken.action in.png ./broken.action
check "refused outputs: nothing written" test -z "$(ls o)"
check "refused outputs: the action kept" grep -q "^Amnt bool true$" broken.action
rmdir o
for rect in 500,0,20,20 500,0,13,20 0,0,0,10 0,0,10,0; do # outside, a column past, empty
    expect_failure "rectangle $rect" "does not lie inside" --rect $rect in.png a.png
done
expect_failure "rectangle malformed" "X,Y,W,H" --rect 1,2,3 in.png a.png
expect_failure "bad depth" "--depth takes 8 or 16" --depth 12 in.png a.png
expect_failure "unknown option" "unknown option" --frobnicate in.png a.png
expect_failure "missing action" "cannot read action" --play none.action in.png a.png
printf 'Amnt UntF #Prc\n' >short.action
expect_failure "malformed action" "line 1: 'UntF' takes 2 values" --play short.action in.png a.png
printf 'Amnt \033]0;owned\007 1\n' >title.action
"$host" --play title.action in.png a.png 2>stderr
check "control bytes in an action: refused" test $? -eq 1 -a ! -e a.png
check "control bytes in an action: shown escaped" grep -qF "unknown type '\x1B]0;owned\x07'" stderr
check "control bytes in an action: none reach the terminal" \
    test "$(tr -cd '\000-\010\013-\037\177' <stderr | wc -c)" -eq 0
expect_failure "too few files" "expected \[PLUGIN.so\] IN OUT" in.png
check "no stray files" files_are "bad.png bomb.bmp broken.action deep-lines.png deep.png \
empty.ppm fake.so in.png lines.png lines3.png named.png part.png recorded.action reference.png \
short.action stderr stdout title.action" .

e2e_finish
