#!/usr/bin/env bash
# Running out of memory is reported as such: where operator new refuses a large allocation (the
# BMP loader's pixel rows come first) and where the GL driver has no memory for the cube maps'
# images (both made so by the strict driver, as a tight `ulimit -v` does at random places),
# pelk-capture, pelk-bench and the demo end with one line that says "out of memory" and exit
# code -13 (243): no abort from an uncaught std::bad_alloc, and no blaming the driver's formats.
# The demo's case needs an X display and is skipped without one. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_limits
capture=$(cd "$build" && pwd)/pelk-capture
bench=$(cd "$build" && pwd)/pelk-bench
pelk=$(cd "$build" && pwd)/pelk
strict=$(cd "$build" && pwd)/tests/libpelk_strict_driver.so
rm -rf "$out" && mkdir -p "$out"
PELK_TEST=e2e_limits
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1
# The sanitizers' allocator refuses by itself, before any handler; they are not what is tested.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0:allocator_may_return_null=1"

# out_of_memory NAME PROGRAM LINE [env ...] -- ARGS...: ends with 243 within 120 s, and LINE is
# its last line on standard error; no picture is written.
out_of_memory() {
    local name=$1 program=$2 line=$3
    shift 3
    local envs=()
    while [ "$1" != -- ]; do envs+=("$1"); shift; done
    shift
    rm -rf "$out/pictures"
    timeout 120 env LD_PRELOAD="$strict" "${envs[@]}" "$program" "$@" >"$out/$name.out" 2>"$out/$name.err"
    local code=$? ok=0
    [ $code -eq 243 ] || { why "$name ended with $code, expected 243: $(tail -n 1 "$out/$name.err")"; ok=1; }
    [ "$(tail -n 1 "$out/$name.err")" = "$line" ] ||
        { why "$name's last line: '$(tail -n 1 "$out/$name.err")'"; ok=1; }
    grep -q "cannot render into" "$out/$name.out" && { why "$name blamed the driver"; ok=1; }
    [ ! -e "$out/pictures/frame-01.000.png" ] || { why "$name wrote a picture"; ok=1; }
    return $ok
}

refused_allocation() {
    local ok=0 refuse=PELK_STRICT_REFUSE_NEW_OVER=2097152
    out_of_memory capture-new "$capture" "pelk-capture: out of memory" "$refuse" -- \
        --at 1 --out "$out/pictures" || ok=1
    out_of_memory bench-new "$bench" "pelk-bench: out of memory" "$refuse" -- \
        --at 1 --frames 1 || ok=1
    if [ -n "${DISPLAY:-}" ]; then
        out_of_memory demo-new "$pelk" "Pelk: out of memory" "$refuse" -- || ok=1
    else
        say "(the demo's part needs an X display; skipped)"
    fi
    return $ok
}
no_memory_for_the_cubes() {
    local ok=0
    out_of_memory capture-cube "$capture" \
        "pelk-capture: out of memory: the GL driver has no memory for the shadow cube (GL_OUT_OF_MEMORY)" \
        PELK_STRICT_CUBE_OUT_OF_MEMORY=1 -- --context egl --at 1 --out "$out/pictures" || ok=1
    if [ -n "${DISPLAY:-}" ]; then
        out_of_memory demo-cube "$pelk" \
            "Pelk: out of memory: the GL driver has no memory for the shadow cube (GL_OUT_OF_MEMORY)" \
            PELK_STRICT_CUBE_OUT_OF_MEMORY=1 -- || ok=1
    fi
    return $ok
}

check_case "a refused allocation (the BMP loader's)" refused_allocation
check_case "the GL driver without memory for the cube maps" no_memory_for_the_cubes
end_cases
