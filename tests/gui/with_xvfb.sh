#!/usr/bin/env bash
# Runs a test program on a private Xvfb server (1280 x 1024, 24 bits) that
# lives as long as the program. Listing the tests needs no server. Without
# Xvfb the run is skipped (exit 77), or fails under CI (SW_CI set).
set -u
for arg in "$@"; do
    [ "$arg" = "--gtest_list_tests" ] && exec "$@"
done
if ! command -v Xvfb >/dev/null 2>&1 || ! command -v xdotool >/dev/null 2>&1; then
    echo "gui tests need Xvfb and xdotool (scripts/bootstrap installs them)" >&2
    [ -n "${SW_CI:-}" ] && exit 1
    exit 77
fi
fifo=$(mktemp -u) && mkfifo "$fifo" || exit 1
# -displayfd picks a free display number and reports it once the server
# listens, so parallel runs never race for a number.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>/dev/null &
server=$!
read -r -t 20 number <"$fifo"
rm -f "$fifo"
if [ -z "${number:-}" ]; then
    kill "$server" 2>/dev/null
    echo "Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$number"
# Mesa's drivers are unloaded when the last window closes, leaving their own
# allocations behind as leaks of unknown modules; LeakSanitizer cannot tell
# them from ours, so leak checking is left to the tests without a window.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
"$@"
status=$?
kill "$server" 2>/dev/null
wait "$server" 2>/dev/null
exit $status
