#!/usr/bin/env bash
# Reference pictures: captures the demo at fixed moments and modes with pelk-capture and
# compares them with the pictures in tests/reference/ within a tolerance (the numbers and why
# are in tests/reference/captures.sh). On a mismatch the capture and a difference picture
# (magenta: pixels beyond the threshold) stay in the output folder and their paths are printed.
# After an intended change to the pictures, scripts/update-references makes new references.
# With an X display the captures are drawn in the tool's hidden window; without one (scripts/test
# --headless) through EGL; the test checks that the tool said so. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_reference
refs=tests/reference
source "$refs/captures.sh"

say() { printf 'e2e_reference: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    exit 1
}

for tool in pelk-capture pelk-imgdiff; do
    [ -x "$build/$tool" ] || fail "no $tool in $build"
done
# The references are pictures of Mesa's software rasteriser.
export LIBGL_ALWAYS_SOFTWARE=1

rm -rf "$out"
mkdir -p "$out"
pelk_capture_references "$build" "$out" || fail "the captures did not complete"
# The way this run was meant to take: the window where there is a display, EGL where not.
if [ -n "${DISPLAY:-}" ]; then expected="GLX window"; else expected="EGL "; fi
context=$(sed -n 's/^context: //p' "$out/timeline.log")
[[ "$context" == "$expected"* ]] || fail "the captures ran in '$context', not in a $expected context"
say "context: $context"

compare() {  # compare REFERENCE CANDIDATE DIFF
    "$build/pelk-imgdiff" "$1" "$2" --threshold "$PELK_REFERENCE_THRESHOLD" \
        --max-share "$PELK_REFERENCE_MAX_SHARE" --max-mean "$PELK_REFERENCE_MAX_MEAN" --diff "$3"
}

failed=0
for run in "${PELK_REFERENCE_RUNS[@]}"; do
    IFS='|' read -r name _ moments <<<"$run"
    for t in $moments; do
        file=$(pelk_reference_name "$name" "$t")
        picture=$out/$file
        diff=$out/${file%.png}-diff.png
        if [ ! -f "$refs/$file" ]; then
            say "$file: no reference picture; if this moment is new, run scripts/update-references"
            failed=1
            continue
        fi
        result=$(compare "$refs/$file" "$picture" "$diff")
        code=$?
        say "$file: $result"
        if [ $code -ne 0 ]; then
            say "  the capture: $picture"
            say "  the difference: $diff"
            failed=1
        else
            rm -f "$diff"
        fi
    done
done
[ $failed -eq 0 ] || fail "pictures differ from their references (if intended: scripts/update-references)"

# The tolerance must still tell the smallest fault we guard: another shadow mode than the one
# asked for. The picture at 1 s (mode 1) against the reference at 3 s (the same view in mode
# 2), and the picture at 20 s (mode 1) against the reference of mode 0 at 20 s.
for pair in "timeline 3 timeline 1" "shadow0 20 timeline 20"; do
    read -r ref_run ref_t run t <<<"$pair"
    reference=$(pelk_reference_name "$ref_run" "$ref_t")
    picture=$(pelk_reference_name "$run" "$t")
    if result=$(compare "$refs/$reference" "$out/$picture" "$out/tolerance-check-diff.png"); then
        fail "the tolerance lets $picture pass for $reference, another shadow mode ($result)"
    fi
done
# A picture does not depend on the other moments that its run captures: 38 s alone is, to the
# bit, 38 s of the timeline run.
alone=$out/alone
"$build/pelk-capture" --at 38 --out "$alone" >"$alone.log" 2>&1 || fail "capture --at 38 failed"
cmp -s "$alone/frame-38.000.png" "$out/$(pelk_reference_name timeline 38)" ||
    fail "38 s captured alone differs from 38 s of the timeline run ($alone/frame-38.000.png)"
say "PASS"
