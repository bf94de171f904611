#!/usr/bin/env bash
# Under a sweep of memory limits each program succeeds or says "out of memory", exits 1 and
# writes nothing. Plain builds limit the address space; ASan caps each allocation (C++ ones
# abort there, so only programs whose large buffers the image library allocates are swept).
source "$(dirname "$0")/lib/e2e.bash"
bin="$SW_BIN_DIR/spotweave"
host="$SW_BIN_DIR/spotweave-host"
export XDG_DESKTOP_DIR="$tmp/desktop" XDG_CONFIG_HOME="$tmp/config"
unset DISPLAY WAYLAND_DISPLAY
mkdir "$tmp/desktop" "$tmp/config"

# Noise does not compress: the PNG encoder's buffers grow as large as the picture.
noise="$tmp/noise.ppm"
{ printf 'P6\n800 600\n255\n'; head -c 1440000 /dev/urandom; } >"$noise"
printf 'Amnt bool true\n' >"$tmp/lines.action"

sanitized=false
grep -qE '^SPOTWEAVE_(ASAN|TSAN):BOOL=ON' "$SW_BIN_DIR/CMakeCache.txt" && sanitized=true
if grep -q '^SPOTWEAVE_TSAN:BOOL=ON' "$SW_BIN_DIR/CMakeCache.txt"; then
    echo "skipped: the ThreadSanitizer build looks for races; the plain and ASan builds sweep memory"
    e2e_finish
fi

# limited MIB COMMAND...: MiB of address space, or a MiB cap on each allocation (sanitizers).
limited() {
    local mib=$1
    shift
    if $sanitized; then
        local options="allocator_may_return_null=1:max_allocation_size_mb=$mib"
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}$options:detect_leaks=0" \
            TSAN_OPTIONS="${TSAN_OPTIONS:+$TSAN_OPTIONS:}$options" "$@"
    else
        (ulimit -v $((mib * 1024)) && exec "$@")
    fi
}

# sweep NAME "MIBS" COMMAND...: runs COMMAND (which writes out.png) in
# $tmp/NAME at each limit and leaves "OK SHORT BAD" counts in $tmp/NAME.counts.
sweep() {
    local name=$1 limits=$2 limit status ok=0 short=0 bad=0
    shift 2
    mkdir "$tmp/$name" && cd "$tmp/$name" || return
    for limit in $limits; do
        limited "$limit" "$@" >/dev/null 2>err
        status=$?
        if [ "$status" -eq 0 ] && [ -s out.png ]; then
            ok=$((ok + 1))
        elif [ "$status" -eq 1 ] && grep -q "out of memory" err && [ "$(ls -A)" = err ]; then
            short=$((short + 1))
        else
            bad=$((bad + 1))
            echo "     $name at $limit MiB: status $status, files: $(ls -A | tr '\n' ' ')"
            head -c 400 err
        fi
        rm -f out.png flow.png err
    done
    echo "$ok $short $bad" >"$tmp/$name.counts"
}

# The lowest MiB of address space (steps of 2) at which COMMAND gets to say PATTERN: the
# floor that the libraries loaded set, where the sweeps start.
floor_of() { # floor_of PATTERN COMMAND...
    local pattern=$1 mib
    shift
    for ((mib = 4; mib < 1024; mib += 2)); do
        limited "$mib" "$@" 2>&1 | grep -q -- "$pattern" && break
    done
    echo "$mib"
}

# MiB from first to last (above floor) by step, then 8 GiB, which fits every run.
range() { echo $(seq $(($1 + $2)) "$4" $(($1 + $3))) 8192; }

if $sanitized; then
    names="blur lines"
    sweep blur "1 2 3 4 6 8" "$bin" blur "$noise" -r 3 -o out.png &
    sweep lines "1 2 3 4 6 8 12 16" "$bin" lines "$noise" -q -o out.png &
else
    names="blur resize lines render host"
    low=$(floor_of "usage:" "$bin" --help)
    # The host loads the plug-in before it looks at its input.
    host_low=$(floor_of "none.png.*No such file" "$host" "$tmp/none.png" "$tmp/out.png")
    sweep blur "$(range "$low" 0 16 1)" "$bin" blur "$noise" -r 3 -o out.png &
    sweep resize "$(range "$low" 0 48 4)" "$bin" resize "$noise" -s 1600x1200 -o out.png &
    sweep lines "$(range "$low" 0 60 4)" "$bin" lines "$noise" -q -o out.png &
    sweep render "$(range "$low" 0 96 16)" "$bin" render "$noise" -n 2 -q --flow flow.png \
        -o out.png &
    sweep host "$(range "$host_low" 0 80 16)" "$host" --play "$tmp/lines.action" "$noise" out.png &
fi
wait
for name in $names; do
    read -r ok short bad <"$tmp/$name.counts" || { ok=0 short=0 bad=1; }
    check "$name: clean at every limit" test "$bad" -eq 0
    check "$name: some limits run short" test "$short" -gt 0
    check "$name: enough memory succeeds" test "$ok" -gt 0
done

e2e_finish
