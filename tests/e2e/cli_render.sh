#!/usr/bin/env bash
# spotweave render at small sizes, and its refusals (one message each, no output file).
source "$(dirname "$0")/lib/e2e.bash"
render() { "$bin" render "$@" 2>/dev/null >/dev/null; }
cli_start render "default of [0-9]* iterations"
small=(--max-side 64 -n 3)
check "render runs" render "$tmp/in.png" "${small[@]}" -o "$tmp/out.png"
check "scaled back to the input size" test "$(png_size "$tmp/out.png")" = "451 300"
check "no-rescale keeps the simulated size" render "$tmp/in.png" "${small[@]}" --no-rescale \
    -o "$tmp/small.png"
check "simulated at a longest side of 64" test "$(png_size "$tmp/small.png")" = "64 43"
check "flow picture" render "$tmp/in.png" "${small[@]}" --flow "$tmp/flow.png" -o "$tmp/out2.png"
check "flow picture has the input size" test "$(png_size "$tmp/flow.png")" = "451 300"
check "same input, same pattern" cmp -s "$tmp/out.png" "$tmp/out2.png"
check "one thread, same pattern" render "$tmp/in.png" "${small[@]}" --threads 1 -o "$tmp/out3.png"
check "one thread matches the pool" cmp -s "$tmp/out.png" "$tmp/out3.png"
check "more iterations change it" render "$tmp/in.png" --max-side 64 -n 5 -o "$tmp/out4.png"
check "pattern moved on" differ "$tmp/out.png" "$tmp/out4.png"
check "large jpeg to jpeg" render "$data/mountains_2048x1536.jpg" --max-side 48 -n 2 -o "$tmp/m.jpg"
check "jpeg magic" is_jpeg "$tmp/m.jpg"
check "summary names sizes and iterations" says "451 x 300, simulated at 32 x 21, 1 iterations" \
    "$bin" render "$tmp/in.png" --max-side 32 -n 1 -o "$tmp/s.png"
"$bin" render "$tmp/in.png" --max-side 32 -n 1 -q -o "$tmp/q.png" >"$tmp/stdout" 2>"$tmp/stderr"
check "quiet: runs" test $? -eq 0 -a -s "$tmp/q.png"
check "quiet: nothing on either stream" test ! -s "$tmp/stdout" -a ! -s "$tmp/stderr"
rm "$tmp/stdout" "$tmp/stderr"

cli_refusals render
expect_failure "unwritable flow" "cannot write" render "$tmp/in.png" --flow "$tmp/no/f.png" \
    -o "$tmp/c.png"
expect_failure "flow is input" "is the input" render "$tmp/in.png" --flow "$tmp/in.png" \
    -o "$tmp/c.png"
expect_failure "flow is output" "file of its own" render "$tmp/in.png" --flow "$tmp/c.png" \
    -o "$tmp/c.png"
check "flow refusals: nothing written" test ! -e "$tmp/c.png"
check "flow refusals: input untouched" test "$(md5sum <"$tmp/in.png")" = "$before"
expect_failure "zero iterations" "iterations" render "$tmp/in.png" -n 0 -o "$tmp/f.png"
expect_failure "bad iterations" "iterations" render "$tmp/in.png" -n many -o "$tmp/f.png"
expect_failure "bad max side" "max-side" render "$tmp/in.png" --max-side 8 -o "$tmp/f.png"
expect_failure "bad threads" "threads" render "$tmp/in.png" --threads 0 -o "$tmp/f.png"
check "no stray files" files_are \
    "bad.png flow.png in.png m.jpg out.png out2.png out3.png out4.png q.png s.png small.png"

e2e_finish
