#!/usr/bin/env bash
# spotweave blur from file to file, and its refusals (one message each, no output file).
source "$(dirname "$0")/lib/e2e.bash"
cli_start blur "--radius"
check "blur runs at the largest radius" "$bin" blur "$tmp/in.png" -r 63 -o "$tmp/out.png"
check "a PNG of the input's size" test "$(png_size "$tmp/out.png")" = "451 300"
check "jpeg output" "$bin" blur "$data/mountains_2048x1536.jpg" -r 1 -o "$tmp/out.jpg"
check "jpeg magic" is_jpeg "$tmp/out.jpg"

cli_refusals blur
mkfifo "$tmp/fifo"
expect_failure "output is a FIFO" "not a regular file" blur "$tmp/in.png" -o "$tmp/fifo"
check "output is a FIFO: still a FIFO" test -p "$tmp/fifo"
expect_failure "output is a device" "not a regular file" blur "$tmp/in.png" -o /dev/null
check "output is a device: still a device" test -c /dev/null
bomb_bmp "$tmp/bomb.bmp"
expect_failure "huge claim" "image too large: 13435069 x 12" blur "$tmp/bomb.bmp" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=135299 expect_failure "over the cap" "over 135299 pixels" \
    blur "$tmp/in.png" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=135300 check "at the cap" "$bin" blur "$tmp/in.png" -o "$tmp/f.png"
SPOTWEAVE_MAX_PIXELS=lots expect_failure "bad cap" "SPOTWEAVE_MAX_PIXELS must be a whole number" \
    blur "$tmp/in.png" -o "$tmp/g.png"
expect_failure "bad radius" "radius" blur "$tmp/in.png" -r 64 -o "$tmp/d.png"
check "no stray files" files_are "bad.png bomb.bmp f.png fifo in.png out.jpg out.png"

e2e_finish
