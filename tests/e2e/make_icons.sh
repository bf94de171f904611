#!/usr/bin/env bash
# The icon generator runs with Debian's Python and fonttools and reproduces the committed files.
source "$(dirname "$0")/lib/e2e.bash"
src="$SW_SOURCE_DIR/resources"

if ! /usr/bin/python3 -c 'import fontTools' 2>/dev/null; then
    echo "FAIL python3-fonttools is missing (scripts/bootstrap installs it)"
    exit 1
fi
cp "$src/make_icons.py" "$tmp/"
check "generator runs on its own" /usr/bin/python3 "$tmp/make_icons.py" "$tmp"
check "icon font reproduced" cmp "$tmp/pixelwrenicons.ttf" "$src/pixelwrenicons.ttf"
check "logo reproduced" cmp "$tmp/icon256.png" "$src/icon256.png"
check "logo is 256 x 256" test "$(png_size "$tmp/icon256.png")" = "256 256"
e2e_finish
