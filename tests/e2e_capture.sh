#!/usr/bin/env bash
# The capture tool's pictures, checked for what a viewer would notice: a bright sky at the top,
# the glowing light cube and its flare (gone when the light is behind the camera), the sphere's
# shadow on the ground in each shadow mode, soft shadows as wide as the filtered ones and as dark
# as the hard ones, a meadow without a sheen or a trench at the hills' foot, the sky mirrored in
# the sphere, and the same picture from slow frames as from fast ones.
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
    run mode$mode --at 1 --at 20 --shadow-mode $mode
    check shadow "$out/mode$mode/frame-20.000"
done
# Soft shadows are soft: the band where the soft picture differs from the hard one is at least
# as wide as the filtered (PCF) mode's.
band() {  # band MODE MOMENT: % of pixels with a channel more than 4 off the hard picture
    "$build/pelk-imgdiff" "$out/mode0/frame-$2.png" "$out/mode$1/frame-$2.png" --threshold 4 |
        sed -n 's/.*pixels off by > 4: \([0-9.]*\)%.*/\1/p'
}
for t in 01.000 20.000; do
    soft=$(band 1 $t) filtered=$(band 2 $t)
    python3 -c "import sys; sys.exit(not float('$soft') >= float('$filtered') > 0)" ||
        { echo "at $t the soft band ($soft%) is narrower than the filtered one ($filtered%)"; exit 1; }
    echo "ok: soft band $soft% against filtered $filtered% at $t"
done
# ...and keep their darkness: a thin caster's shadow (the lamp post's, at 20 s) as dark as the hard
# mode's and even along its length, without beads; the core of the barrel's shadow (1 s) too.
for mode in 1 2; do
    check post-shadow "$out/mode$mode/frame-20.000" "$out/mode0/frame-20.000"
    check shadow-core "$out/mode$mode/frame-01.000" "$out/mode0/frame-01.000"
done

# The meadow has no milky sheen where the camera faces the light (10, 20 and 30 s), and no dark
# trench where it meets the hills (10 s).
run look --at 10 --at 30
for t in 10 30; do check saturation "$out/look/frame-$t.000"; done
check saturation "$out/mode1/frame-20.000"
check horizon "$out/look/frame-10.000"

# The light moved into view above the letters, then behind the camera.
run light --at 20 --light 0,10,0
check light "$out/light/frame-20.000"
run behind --at 20 --light 48.8,21.4,16.0
check flare "$out/light/frame-20.000" "$out/behind/frame-20.000"
check no-flare "$out/behind/frame-20.000"
# The light's cube leaves the top of the window at about 31 s: the flare fades with it instead
# of vanishing, so no frame changes much more than the others (the flight moves every frame).
edge=()
for k in $(seq 0 18); do edge+=(--at "$(python3 -c "print('%.4f' % (30.7 + $k / 30))")"); done
run edge "${edge[@]}"
changes=$(for k in $(seq 0 17); do
    a=$(python3 -c "print('%06.3f' % (30.7 + $k / 30))") b=$(python3 -c "print('%06.3f' % (30.7 + ($k + 1) / 30))")
    "$build/pelk-imgdiff" "$out/edge/frame-$a.png" "$out/edge/frame-$b.png" |
        sed -n 's/.*R \([0-9.]*\) G \([0-9.]*\) B \([0-9.]*\).*/\1 \2 \3/p'
done)
python3 -c "
import sys
c = [sum(map(float, l.split())) for l in sys.argv[1].splitlines()]
m = sorted(c)[len(c) // 2]
print(f'largest frame-to-frame change {max(c) / m:.2f} times the median')
sys.exit(max(c) > 1.3 * m)" "$changes" || { echo "the flare pops at the top edge"; exit 1; }
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
