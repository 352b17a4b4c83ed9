#!/usr/bin/env bash
# The benchmark's chart (scripts/plot-bench): from a JSON as pelk-bench writes it, one stacked
# bar per moment whose layers are as tall as the passes' medians, the floor's bar beside it;
# refusals of a JSON without GPU times, of one that is not JSON and of a missing folder, each
# in one line, leaving no chart. Run from the repository root.
set -u
out=${PELK_TEST_OUT:-/tmp}/e2e_plot
rm -rf "$out" && mkdir -p "$out"
export LC_ALL=C
plot=scripts/plot-bench
command -v gnuplot >/dev/null || { echo "FAIL: gnuplot is missing (scripts/test installs it)"; exit 1; }
fail() { echo "FAIL: $*"; exit 1; }

# Two moments with the floor; the medians are what the bars show, the p95 and samples are
# there to be ignored.
python3 - "$out" <<'PY' || exit 1
import json, sys
passes = ['shadow', 'reflection', 'scene', 'post', 'mipmaps']
def times(values):
    return {p: {'median': v, 'p95': 3 * v + 50, 'samples': [v, 9 * v]} for p, v in zip(passes, values)}
def moment(seconds, real, floor):
    return {'seconds': seconds,
            'cpuFrameMs': {'median': sum(real) + 8, 'p95': 500, 'samples': [1]},
            'gpuMs': times(real),
            'floor': {'cpuFrameMs': {'median': sum(floor) + 4, 'p95': 500, 'samples': [1]},
                      'gpuMs': times(floor)},
            'ratio': 2.0}
bench = {'renderer': 'test renderer', 'frames': 3, 'gpuTimes': True,
         'moments': [moment(3.0, [10, 20, 40, 15, 5], [8, 6, 12, 3, 1]),
                     moment(20.0, [12, 22, 36, 20, 10], [9, 7, 14, 2, 4])]}
json.dump(bench, open(sys.argv[1] + '/bench.json', 'w'), indent=1)
nogpu = dict(bench, gpuTimes=False)
for m in nogpu['moments']:
    m['gpuMs'] = {p: None for p in passes}
json.dump(nogpu, open(sys.argv[1] + '/nogpu.json', 'w'))
open(sys.argv[1] + '/broken.json', 'w').write('{"moments": [')
PY

"$plot" "$out/bench.json" "$out/bench.png" >"$out/plot.log" 2>&1 || fail "plot-bench failed: $(cat "$out/plot.log")"
grep -qx "wrote $out/bench.png" "$out/plot.log" || fail "no 'wrote' line: $(cat "$out/plot.log")"
[ -z "$(find "$out" -name '.bench.png.*')" ] || fail "a temporary was left beside the chart"

# Each layer's colour covers an area in proportion to its median: the layers are the passes'
# medians, in their own colours, and the floor's are lighter.
python3 - "$out/bench.png" <<'PY' || exit 1
import sys
sys.path.insert(0, 'tests/support')
from pictures import read_png
width, height, rows = read_png(sys.argv[1])
if (width, height) != (1000, 560):
    sys.exit(f'FAIL: the chart is {width} x {height}, not 1000 x 560')
colours = {'shadow': (0x3b, 0x6f, 0xb6), 'reflection': (0xe0, 0x8a, 0x2e), 'scene': (0x4a, 0x9a, 0x48),
           'post': (0xc9, 0x41, 0x3c), 'mipmaps': (0x8c, 0x62, 0xaa),
           'floor shadow': (0xa9, 0xc0, 0xe3), 'floor scene': (0xb0, 0xd8, 0xae)}
counts = {name: 0 for name in colours}
lookup = {bytes(c): name for name, c in colours.items()}
for row in rows:
    for x in range(0, 3 * width, 3):
        name = lookup.get(bytes(row[x:x + 3]))
        if name:
            counts[name] += 1
# Summed over both moments: shadow 22, reflection 42, scene 76, post 35, mipmaps 15 ms; the
# floor's shadow 17 and scene 26. The legend's samples add the same small area to each colour.
medians = {'shadow': 22, 'reflection': 42, 'scene': 76, 'post': 35, 'mipmaps': 15,
           'floor shadow': 17, 'floor scene': 26}
per_ms = counts['scene'] / medians['scene']
for name, ms in medians.items():
    expected = ms * per_ms
    print(f'{name}: {counts[name]} pixels, {expected:.0f} for {ms} ms')
    if abs(counts[name] - expected) > 0.12 * expected + 150:
        sys.exit(f'FAIL: the {name} layer covers {counts[name]} pixels, expected about {expected:.0f}')
PY

for bad in nogpu broken missing; do
    "$plot" "$out/$bad.json" "$out/$bad.png" >"$out/$bad.log" 2>&1
    code=$?
    [ $code -eq 1 ] || fail "$bad.json: exit code $code, expected 1"
    [ "$(wc -l <"$out/$bad.log")" -eq 1 ] || fail "$bad.json: not one line: $(cat "$out/$bad.log")"
    [ ! -e "$out/$bad.png" ] || fail "$bad.json: a chart was left"
done
grep -q "has no GPU times per pass" "$out/nogpu.log" || fail "nogpu: $(cat "$out/nogpu.log")"
grep -q "is not JSON" "$out/broken.log" || fail "broken: $(cat "$out/broken.log")"
grep -q "cannot read $out/missing.json: No such file or directory" "$out/missing.log" ||
    fail "missing: $(cat "$out/missing.log")"
"$plot" "$out/bench.json" "$out/nowhere/bench.png" >"$out/nowhere.log" 2>&1
[ $? -eq 1 ] || fail "a chart into a missing folder did not fail"
grep -q "^plot-bench: no folder $out/nowhere" "$out/nowhere.log" || fail "nowhere: $(cat "$out/nowhere.log")"
echo "PASS"
