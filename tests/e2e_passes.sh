#!/usr/bin/env bash
# pelk-capture --passes: beside each moment's picture, one picture per pass image, named by
# pass, none of them blank; a failed write leaves none of the moment's files; the frames are the
# same to the byte as without --passes; --passes without --at is refused. Run from the
# repository root.
set -u
build=${PELK_BUILD_DIR:-build/test}
out=${PELK_TEST_OUT:-/tmp}/e2e_passes
capture=$build/pelk-capture
checks=tests/support/pictures.py
rm -rf "$out" && mkdir -p "$out"
command -v python3 >/dev/null || { echo "python3 is needed to read the pictures"; exit 1; }
export LIBGL_ALWAYS_SOFTWARE=1

fail() { echo "FAIL: $*"; exit 1; }
run() {  # run NAME ARGS...: one capture into $out/NAME, its console in $out/NAME.log
    local name=$1; shift
    if ! "$capture" --out "$out/$name" "$@" >"$out/$name.log" 2>&1; then
        echo "pelk-capture $* failed:"; tail -20 "$out/$name.log"; exit 1
    fi
}
passes=(shadow-depth shadow-moments reflection scene-color scene-depth)

"$capture" --passes --out "$out/none" >"$out/refused.log" 2>&1
code=$?
[ $code -eq 2 ] || fail "--passes without --at ended with $code, expected 2"
grep -qx 'pelk-capture: --passes requires --at' "$out/refused.log" ||
    fail "--passes without --at: '$(head -n 1 "$out/refused.log")'"
[ ! -e "$out/none" ] || fail "a refused capture made its folder"

run passes --at 3 --at 30 --passes
for t in 03.000 30.000; do
    frame=$out/passes/frame-$t
    grep -qx "wrote $frame.png" "$out/passes.log" || fail "no 'wrote' line for $frame.png"
    python3 "$checks" varied "$frame.png" 40 || exit 1
    for pass in "${passes[@]}"; do
        grep -qx "wrote $frame-$pass.png" "$out/passes.log" || fail "no 'wrote' line for $pass at $t"
        python3 "$checks" varied "$frame-$pass.png" 40 || exit 1
    done
done
count=$(find "$out/passes" -name '*.png' | wc -l)
[ "$count" -eq 12 ] || fail "$count pictures in $out/passes, expected 2 frames and 10 pass pictures"

# Drawing the views between two frames leaves the next frame as it was.
run plain --at 3 --at 30
for t in 03.000 30.000; do
    cmp -s "$out/plain/frame-$t.png" "$out/passes/frame-$t.png" ||
        fail "the frame at $t differs with --passes"
done
echo "ok: the frames at 3 and 30 s are the same to the byte with and without --passes"

# A pass picture that cannot be written (a folder in its place): exit 1, and none of that
# moment's files is left, the picture and its notes included.
mkdir -p "$out/blocked/frame-03.000-reflection.png"
"$capture" --at 3 --passes --out "$out/blocked" >"$out/blocked.log" 2>&1
code=$?
[ $code -eq 1 ] || fail "a pass picture that could not be written ended with $code, expected 1"
grep -q "^pelk-capture: could not write $out/blocked/frame-03.000-reflection.png: " "$out/blocked.log" ||
    fail "no line naming the picture that failed: $(tail -n 1 "$out/blocked.log")"
left=$(find "$out/blocked" -type f | wc -l)
[ "$left" -eq 0 ] || fail "$left files left after the failed write: $(find "$out/blocked" -type f)"
grep -q '^wrote ' "$out/blocked.log" && fail "a 'wrote' line for a moment that was not written"
echo "PASS"
