# The reference pictures: which captures make them, and how they are compared. Sourced by
# tests/e2e_reference.sh and scripts/update-references; not run.
#
# Each run is one pelk-capture process: a name, its options, and the moments it captures.
# The reference of a moment is tests/reference/<name>-<SS.SSS>.png, the capture box-reduced
# to half size (a quarter of the bytes; a real fault still shows at that size).
PELK_REFERENCE_RUNS=(
    # 1 s: start; 3 s: shadow mode 2 (forced by the timeline); 10 s: letters falling;
    # 20 s: the sphere and its shadow in view; 30 s: the water; 38 s: tiles and barrels sliding
    # out; 53 s: wireframe; 60 s: the camera's last flight.
    "timeline||1 3 10 20 30 38 53 60"
    # Shadow mode 0 (comparison lookups), the view of 20 s.
    "shadow0|--shadow-mode 0|20"
)
PELK_REFERENCE_REDUCTION=2

# Tolerance. Captures are bit-identical from run to run and between LP_NUM_THREADS=1, 2 and 4
# and LP_NATIVE_VECTOR_WIDTH=128 and 256, so the limits are there for other Mesa versions and
# CPUs, not for noise, and sit below the smallest real faults measured on the half-size
# pictures. Share of pixels with a channel off by more than 8, and the largest channel mean:
#   another shadow mode than the one asked for    0.13 to 0.38%   0.03 to 0.07
#   the light 0.5 units off                       0.08% (1 s), 3.8% (30 s)   0.33, 1.65
#   a frame 1/30 s late                           6 to 10%         1.4 to 2.9
# Shadow modes differ in few pixels, which is why the share limit is tight; the test checks
# that it still tells them apart.
PELK_REFERENCE_THRESHOLD=${PELK_REFERENCE_THRESHOLD:-8}     # a channel off by more than this...
PELK_REFERENCE_MAX_SHARE=${PELK_REFERENCE_MAX_SHARE:-0.05}  # ...in at most this % of pixels
PELK_REFERENCE_MAX_MEAN=${PELK_REFERENCE_MAX_MEAN:-0.5}     # mean abs difference per channel

# pelk_reference_name RUN MOMENT: the file name of a reference ("timeline-03.000.png").
pelk_reference_name() { printf '%s-%06.3f.png' "$1" "$2"; }

# pelk_capture_references BUILD DIR: runs every capture with BUILD's pelk-capture and leaves the
# full-size pictures in DIR under their reference names. Returns 1 when a capture fails; its
# console output is in DIR/<name>.log.
pelk_capture_references() {
    local build=$1 dir=$2 run name options moments args t
    mkdir -p "$dir"
    for run in "${PELK_REFERENCE_RUNS[@]}"; do
        IFS='|' read -r name options moments <<<"$run"
        args=()
        for t in $moments; do args+=(--at "$t"); done
        # shellcheck disable=SC2086 # the options are words on purpose
        if ! timeout 240 "$build/pelk-capture" $options "${args[@]}" --out "$dir/$name" \
            >"$dir/$name.log" 2>&1; then
            printf 'capture "%s" failed; its output: %s\n' "$name" "$dir/$name.log"
            return 1
        fi
        for t in $moments; do
            mv "$dir/$name/$(LC_ALL=C printf 'frame-%06.3f.png' "$t")" "$dir/$(pelk_reference_name "$name" "$t")" ||
                return 1
        done
    done
}
