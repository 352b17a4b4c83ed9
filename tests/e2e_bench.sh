#!/usr/bin/env bash
# The benchmark tool, briefly: two measured frames at one moment; its table and its JSON carry
# the renderer, where its context came from (the window with an X display, EGL without one), the
# start-up time, the peak memory and a frame and GPU time per pass, and it refuses bad options
# (and counting instructions outside callgrind). Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_bench
bench=$build/pelk-bench
mkdir -p "$out"
rm -f "$out/bench.json"

say() { printf 'e2e_bench: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    [ -s "$out/bench.out" ] && { say "--- $out/bench.out (last lines)"; tail -n 20 "$out/bench.out"; }
    exit 1
}

[ -x "$bench" ] || fail "no pelk-bench in $build"
export LIBGL_ALWAYS_SOFTWARE=1

for bad in "--frames 0" "--at -1" "--warmup x" "--json" "--bogus 1" "--count-instructions" \
    "--floor-stages $out/nowhere" "--floor-stages $out --count-instructions"; do
    # shellcheck disable=SC2086 # the options are words on purpose
    "$bench" $bad >/dev/null 2>&1
    code=$?
    [ $code -eq 2 ] || fail "'pelk-bench $bad' ended with $code, expected 2"
done

timeout 240 "$bench" --at 12 --frames 2 --warmup 1 --json "$out/bench.json" >"$out/bench.out" 2>&1 ||
    fail "pelk-bench ended with exit code $?"

number='[0-9]+\.[0-9]+'
grep -Eq '^renderer: .+' "$out/bench.out" || fail "no renderer line"
if [ -n "${DISPLAY:-}" ]; then
    origin="GLX window" detail="DISPLAY $DISPLAY"
    grep -qx "context: GLX window (DISPLAY $DISPLAY)" "$out/bench.out" || fail "not the window's context line"
else
    origin=$(sed -n 's/^context: \(EGL [a-z]*\) (.*)$/\1/p' "$out/bench.out")
    detail=$(sed -n 's/^context: EGL [a-z]* (\(.*\))$/\1/p' "$out/bench.out")
    [[ "$origin" == "EGL surfaceless" || "$origin" == "EGL device" ]] ||
        fail "without a display, not an EGL context line: $(grep '^context' "$out/bench.out")"
fi
grep -Eq "^start-up to first presented frame: $number s" "$out/bench.out" || fail "no start-up time"
grep -Eq "^peak resident memory: $number MiB" "$out/bench.out" || fail "no peak memory"
# One row for the moment: CPU median and p95, then five GPU columns and their sum.
grep -Eq "^ +12\.00 \| +$number +$number \|( +$number){6}$" "$out/bench.out" ||
    fail "no table row for 12 s with numbers in every column"

json=$(tr -d ' \n' <"$out/bench.json")
[[ "$json" == *"\"contextOrigin\":\"${origin// /}\",\"contextDetail\":\"${detail// /}\""* ]] ||
    fail "the JSON does not name the context '$origin ($detail)'"
for key in renderer glVersion cpu startupToFirstFrameSeconds peakResidentMiB moments cpuFrameMs; do
    [[ "$json" == *"\"$key\":"* ]] || fail "the JSON has no \"$key\""
done
[[ "$json" == *'"gpuTimes":true'* ]] || fail "the JSON has no GPU times"
for pass in shadow reflection scene post mipmaps; do
    [[ "$json" =~ \"$pass\":\{\"median\":$number,\"p95\":$number,\"samples\":\[$number,$number\]\} ]] ||
        fail "the JSON has no two samples for the $pass pass"
done
# The GPU time of the scene pass is more than nothing: its pieces around the mipmap rebuilds
# were both timed and added.
[[ "$json" =~ \"scene\":\{\"median\":0\.000 ]] && fail "the scene pass took no GPU time"

# Against the floor: every other frame drawn with constant fragment stages, and the ratio of
# the two medians reported. The floor is cheaper than the demo's own shading.
mkdir -p "$out/floor" && rm -rf "$out/floor/src" && cp -r src "$out/floor/src"
for stage in "$out"/floor/src/*.fragmentshader; do
    printf '#version 450 compatibility\nlayout(location = 0) out vec4 c;\nvoid main() { c = vec4(0.5); }\n' >"$stage"
done
timeout 240 "$bench" --at 12 --frames 3 --warmup 1 --floor-stages "$out/floor" \
    --json "$out/floor.json" >"$out/bench.out" 2>&1 || fail "pelk-bench --floor-stages ended with $?"
row=$(grep -E "^ +12\.00 \| +$number +$number +$number +$number \|" "$out/bench.out") ||
    fail "no table row for 12 s with the floor and the ratio"
read -r _ _ real _ floor ratio _ <<<"$row"
awk -v r="$real" -v f="$floor" -v q="$ratio" 'BEGIN { exit !(f < r && q > 1 && (r / f - q) ^ 2 < 1e-3) }' ||
    fail "floor $floor and ratio $ratio do not fit the frame time $real"
json=$(tr -d ' \n' <"$out/floor.json")
[[ "$json" =~ \"floor\":\{\"cpuFrameMs\":\{\"median\":$number ]] || fail "the JSON has no floor"
[[ "$json" =~ \"ratio\":$number ]] || fail "the JSON has no ratio"
say "PASS"
