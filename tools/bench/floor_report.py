"""Pools the benchmark runs made with the real stage files and with constant fragment stages
(scripts/bench --floor) and reports, per moment, the frame time of each, their ratio and the
GPU time per pass.

    floor_report.py OUT.json REAL.json [REAL.json ...] -- FLOOR.json [FLOOR.json ...]
"""
import json
import statistics
import sys

PASSES = ['shadow', 'reflection', 'scene', 'post', 'mipmaps']


def load(paths):
    runs = []
    for path in paths:
        with open(path) as f:
            runs.append(json.load(f))
    return runs


def pooled(runs, pick):
    """Median of the samples of every run, per moment (by its seconds)."""
    samples = {}
    for run in runs:
        for moment in run['moments']:
            values = pick(moment)
            if values is not None:
                samples.setdefault(moment['seconds'], []).extend(values['samples'])
    return {s: statistics.median(v) for s, v in samples.items() if v}


def gpu(run_list, name):
    return pooled(run_list, lambda m: (m.get('gpuMs') or {}).get(name))


def main(argv):
    if '--' not in argv[2:]:
        sys.exit('usage: floor_report.py OUT.json REAL.json ... -- FLOOR.json ...')
    split = argv.index('--', 2)
    out, real, floor = argv[1], load(argv[2:split]), load(argv[split + 1:])
    if not real or not floor:
        sys.exit('floor_report.py: needs runs of both kinds')
    real_ms = pooled(real, lambda m: m['cpuFrameMs'])
    floor_ms = pooled(floor, lambda m: m['cpuFrameMs'])
    real_gpu = {p: gpu(real, p) for p in PASSES}
    floor_gpu = {p: gpu(floor, p) for p in PASSES}

    first = real[0]
    print(f"renderer: {first['renderer']}\nmachine: {first['cpu']}, {first['cores']} cores")
    print(f"{len(real)} runs with the stage files and {len(floor)} with constant fragment "
          f"stages, alternating; {first['frames']} frames per moment each")
    startup = max(r['startupToFirstFrameSeconds'] for r in real)
    peak = max(r['peakResidentMiB'] for r in real)
    print(f'start-up to first presented frame (slowest run): {startup:.3f} s')
    print(f'peak resident memory (largest run): {peak:.1f} MiB\n')
    print('  moment |      real     floor    ratio | GPU ms per frame, real (floor)')
    print('       s |        ms        ms          |' +
          ''.join(f' {p:>15}' for p in PASSES))
    moments = []
    for seconds in sorted(real_ms):
        if seconds not in floor_ms:
            continue
        ratio = real_ms[seconds] / floor_ms[seconds]
        row = f'{seconds:8.2f} | {real_ms[seconds]:9.1f} {floor_ms[seconds]:9.1f} {ratio:8.2f} |'
        for p in PASSES:
            r, f = real_gpu[p].get(seconds), floor_gpu[p].get(seconds)
            row += f' {r:6.1f} ({f:5.1f})' if r is not None and f is not None else f" {'n/a':>15}"
        print(row)
        moments.append({
            'seconds': seconds,
            'realMs': round(real_ms[seconds], 3),
            'floorMs': round(floor_ms[seconds], 3),
            'ratio': round(ratio, 3),
            'gpuMs': {p: {'real': real_gpu[p].get(seconds), 'floor': floor_gpu[p].get(seconds)}
                      for p in PASSES},
        })
    report = {
        'renderer': first['renderer'],
        'cpu': first['cpu'],
        'cores': first['cores'],
        'framesPerMoment': first['frames'],
        'realRuns': len(real),
        'floorRuns': len(floor),
        'startupToFirstFrameSeconds': startup,
        'peakResidentMiB': peak,
        'moments': moments,
        'runs': {'real': real, 'floor': floor},
    }
    with open(out, 'w') as f:
        json.dump(report, f, indent=2)
    print(f'wrote {out}')


if __name__ == '__main__':
    main(sys.argv)
