#!/usr/bin/env bash
# The capture tool's pictures, checked for what a viewer would notice: a bright sky at the top,
# the glowing light cube and its flare (gone when the light is behind the camera), the sphere's
# shadow on the ground in each shadow mode, the sky mirrored in the sphere, and the same
# picture from slow frames as from fast ones.
set -u
build=${PELK_BUILD_DIR:-build/test}
out=${PELK_TEST_OUT:-/tmp}/e2e_capture
capture=$build/pelk-capture
checks=tests/support/pictures.py
rm -rf "$out" && mkdir -p "$out"
command -v python3 >/dev/null || { echo "python3 is needed to read the pictures"; exit 1; }

run() {  # run NAME ARGS...: one capture into $out/NAME, its console in $out/NAME.log
    local name=$1; shift
    if ! "$capture" --out "$out/$name" "$@" >"$out/$name.log" 2>&1; then
        echo "pelk-capture $* failed:"; tail -20 "$out/$name.log"; exit 1
    fi
}
check() { python3 "$checks" "$@" || exit 1; }

# Camera at rest before the flight (1 s); flying at 20 s, the sphere and its shadow in view.
run mode1 --at 1 --at 20
test -s "$out/mode1/frame-01.000.png" || { echo "no picture at 1 s"; exit 1; }
grep -q "^wrote $out/mode1/frame-20.000.png$" "$out/mode1.log" ||
    { echo "no 'wrote' line"; exit 1; }
check sky "$out/mode1/frame-01.000"
check shadow "$out/mode1/frame-20.000"
check reflection "$out/mode1/frame-20.000"
for mode in 0 2; do
    run mode$mode --at 20 --shadow-mode $mode
    check shadow "$out/mode$mode/frame-20.000"
done

# The light moved into view above the letters, then behind the camera.
run light --at 20 --light 0,10,0
check light "$out/light/frame-20.000"
run behind --at 20 --light 48.8,21.4,16.0
check flare "$out/light/frame-20.000" "$out/behind/frame-20.000"
check no-flare "$out/behind/frame-20.000"
# The light inside the sphere: the sphere is drawn as itself.
run inside --at 20 --light -30,7.5,0
check sphere-itself "$out/inside/frame-20.000"

# Frames 1.9 s apart, as a slow machine runs the timeline, give the picture of 30 frames a
# second at 45 s (tiles and barrels gone, the camera looking at the letters), within the
# tolerance of the reference pictures.
source tests/reference/captures.sh
run fast --at 45
run slow --at 45 --step 1.9
if ! result=$("$build/pelk-imgdiff" "$out/fast/frame-45.000.png" "$out/slow/frame-45.000.png" \
    --threshold "$PELK_REFERENCE_THRESHOLD" --max-share "$PELK_REFERENCE_MAX_SHARE" \
    --max-mean "$PELK_REFERENCE_MAX_MEAN" --diff "$out/slow-diff.png"); then
    echo "45 s with --step 1.9 differs from 45 s at 30 frames a second: $result"
    echo "the difference: $out/slow-diff.png"
    exit 1
fi
echo "all picture checks passed"
