#!/usr/bin/env bash
# spotweave resize from file to file, and its refusals (one message each, no output file).
source "$(dirname "$0")/lib/e2e.bash"
cli_start resize "--long-side"
resized() { # resized IN W H OPTION...: resize writes a PNG of W x H
    local in=$1 size="$2 $3"; shift 3
    "$bin" resize "$in" "$@" -o "$tmp/out.png" >/dev/null && test "$(png_size "$tmp/out.png")" = "$size"
}
check "long side enlarges, aspect kept (681.1)" resized "$tmp/in.png" 1024 681 --long-side 1024
check "long side shrinks" resized "$data/mountains_2048x1536.jpg" 1024 768 -l 1024
check "portrait (66.6)" resized "$data/dogs_portrait_512x769_rgb.png" 67 100 --long-side=100
check "exact size ignores aspect" resized "$tmp/in.png" 640 480 --size 640x480
check "one pixel" resized "$tmp/in.png" 1 1 -s 1X1
check "jpeg output" "$bin" resize "$tmp/in.png" -s 64x64 -o "$tmp/out.jpg"
check "jpeg magic" is_jpeg "$tmp/out.jpg"

cli_refusals resize -l 10
for bad in "neither option|exactly one of|" "both options|exactly one of|-l 10 -s 10x10" \
    "zero long side|long side|-l 0" "negative long side|long side|-l -5" \
    "huge long side|1 to 16384|-l 16385" "not a number|long side|-l big" \
    "zero width|WxH|-s 0x10" "huge height|WxH|-s 10x99999999999" "malformed size|WxH|-s 640" \
    "three sides|WxH|-s 2x3x4"; do
    IFS='|' read -r what says options <<<"$bad"
    # shellcheck disable=SC2086 # the options split into words
    expect_failure "$what" "$says" resize "$tmp/in.png" $options -o "$tmp/a.png"
done
check "bad sizes: no output" test ! -e "$tmp/a.png"
check "no stray files" files_are "bad.png in.png out.jpg out.png"

e2e_finish
