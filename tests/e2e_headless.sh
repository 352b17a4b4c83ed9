#!/usr/bin/env bash
# The tools without an X display: pelk-capture and pelk-bench run with DISPLAY unset make their
# context through EGL, say where it came from, and draw the same pictures and video frames, to
# the byte, as the hidden window on the suite's X display does in the same run. Asked for, EGL
# is used with a display too. A request that no platform meets (no GPU among the devices, no EGL
# vendor at all) ends with one line and the window's exit code -10 (246); a GLEW failure other
# than its "no GLX display" still ends the tool with GLEW's code; a driver without GL 4.5 is
# refused as on a window. (scripts/make-docs, which scripts/run uses without a display, is
# e2e_locale.sh's, under a decimal-comma locale.) Run from the repository root, with the suite's
# X display.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_headless
capture=$build/pelk-capture
bench=$build/pelk-bench
strict=$build/tests/libpelk_strict_driver.so
rm -rf "$out" && mkdir -p "$out"

say() { printf 'e2e_headless: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    exit 1
}
[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set; the window's pictures are the yardstick (run the suite through scripts/test)"
command -v ffmpeg >/dev/null || fail "no ffmpeg; scripts/test installs it"
# Mesa's software rasteriser on every path, GPU or not, so that the pictures can be compared.
export LIBGL_ALWAYS_SOFTWARE=1
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0"

# shoot NAME [env ...] ARGS...: pelk-capture of 3, 20 and 38 s into $out/NAME; its console in
# $out/NAME.log. Arguments before the first option go to env (variables, -u DISPLAY).
moments=(3 20 38)
shoot() {
    local name=$1 envs=()
    shift
    while [ $# -gt 0 ] && [[ "$1" != --* ]]; do envs+=("$1"); shift; done
    local args=()
    for t in "${moments[@]}"; do args+=(--at "$t"); done
    timeout 240 env "${envs[@]}" "$capture" "$@" "${args[@]}" --out "$out/$name" \
        >"$out/$name.log" 2>&1 || fail "$name: pelk-capture ended with $?: $(tail -n 3 "$out/$name.log")"
}
# context_of NAME: the context line of a capture's console.
context_of() { sed -n 's/^context: //p' "$out/$1.log"; }
# same_pictures NAME: each picture of NAME is, to the byte, the window's.
same_pictures() {
    for t in "${moments[@]}"; do
        local file
        file=$(LC_ALL=C printf 'frame-%06.3f.png' "$t")
        cmp -s "$out/window/$file" "$out/$1/$file" || {
            "$build/pelk-imgdiff" "$out/window/$file" "$out/$1/$file" --diff "$out/$1-$t-diff.png"
            fail "$1 at $t s differs from the window's picture ($out/$1-$t-diff.png)"
        }
    done
}

# The yardstick: the hidden window on the suite's display, as the tool chooses with a display.
shoot window
grep -qx "context: GLX window (DISPLAY $DISPLAY)" "$out/window.log" ||
    fail "with a display the capture did not use its window: $(context_of window)"
grep -qx 'renderer: llvmpipe .*' "$out/window.log" || fail "no renderer line: $(head -n 3 "$out/window.log")"

# No display: EGL, by itself. Mesa's surfaceless platform where no GPU device is listed.
shoot auto -u DISPLAY
origin=$(context_of auto)
[[ "$origin" =~ ^EGL\ (surfaceless|device)\ \(.+\)$ ]] ||
    fail "without a display the capture did not use EGL: '$origin'"
grep -q '^renderer: ' "$out/auto.log" && grep -q '^GL version: 4\.' "$out/auto.log" ||
    fail "no renderer and GL version lines without a display"
[[ "$origin" == "EGL surfaceless"* ]] && same_pictures auto

# Surfaceless, asked for while a display is there.
shoot surfaceless --context surfaceless
[[ "$(context_of surfaceless)" =~ ^EGL\ surfaceless\ \(EGL\ [0-9.]+\ from\ .+\)$ ]] ||
    fail "--context surfaceless: '$(context_of surfaceless)'"
same_pictures surfaceless

# A device of EGL_EXT_platform_device: a GPU where one is listed, else Mesa's software renderer.
shoot device -u DISPLAY --context device
device=$(context_of device)
[[ "$device" =~ ^EGL\ device\ \(device\ [0-9]+\ of\ [0-9]+:\ (GPU|software\ renderer).*\;\ EGL\ [0-9.]+\ from\ .+\)$ ]] ||
    fail "--context device: '$device'"
if [[ "$device" == *"software renderer"* ]]; then
    same_pictures device
    # No GPU here: asking for one is refused, and nothing is written.
    code=0
    env -u DISPLAY "$capture" --context gpu --at 1 --out "$out/gpu" >"$out/gpu.log" 2>&1 || code=$?
    [ "$code" -eq 246 ] || fail "--context gpu without a GPU ended with $code, expected 246"
    grep -qx 'Could not create an OpenGL context through EGL: no EGL device is a GPU (device 1 of [0-9]*: software renderer.*)' \
        "$out/gpu.log" || fail "--context gpu without a GPU: $(cat "$out/gpu.log")"
    [ ! -e "$out/gpu/frame-01.000.png" ] || fail "--context gpu wrote a picture"
else
    say "a GPU device is listed ($device): its pictures are not compared with llvmpipe's"
fi
say "window, no display ($origin), surfaceless and device: the same pictures at ${moments[*]} s"

# The video, from the window and without a display: the same frames.
for run in window headless; do
    envs=()
    [ $run = headless ] && envs=(-u DISPLAY --)
    timeout 240 env "${envs[@]}" "$capture" --video "$out/$run.mp4" --fps 10 --from 20 --to 20.5 \
        >"$out/$run-video.log" 2>&1 || fail "the $run recording failed: $(tail -n 2 "$out/$run-video.log")"
    ffmpeg -v error -i "$out/$run.mp4" -f framemd5 "$out/$run.framemd5" || fail "cannot decode $run.mp4"
done
grep -q '^context: EGL ' "$out/headless-video.log" || fail "the video without a display did not use EGL"
diff -q "$out/window.framemd5" "$out/headless.framemd5" >/dev/null ||
    fail "the video without a display decodes to other frames than the window's"
[ "$(grep -vc '^#' "$out/headless.framemd5")" -eq 5 ] || fail "the video does not hold 5 frames"
say "the video of 20 s to 20.5 s: the same 5 frames from the window and without a display"

# The benchmark on a device: the table and the JSON say which context ran.
timeout 240 env -u DISPLAY "$bench" --context device --at 12 --frames 1 --warmup 0 \
    --json "$out/bench.json" >"$out/bench.log" 2>&1 || fail "pelk-bench --context device ended with $?"
grep -qx "context: $device" "$out/bench.log" || fail "pelk-bench's context line: $(grep '^context' "$out/bench.log")"
grep -q '^renderer: .' "$out/bench.log" || fail "pelk-bench names no renderer"
json=$(tr -d '\n' <"$out/bench.json")
[[ "$json" =~ \"contextOrigin\":\ \"EGL\ device\" ]] || fail "the JSON's contextOrigin: $json"
[[ "$json" =~ \"contextDetail\":\ \"device\ [0-9]+\ of\ [0-9]+:\ (GPU|software\ renderer) ]] ||
    fail "the JSON's contextDetail: $json"
say "pelk-bench: $(grep '^context' "$out/bench.log")"

# refused NAME CODE STREAM LINE [env ...] TOOL ARGS...: ends with CODE, LINE (a pattern) is the
# last line of STREAM (out: standard output, where the demo's own start-up lines go; err:
# standard error, where the tools' refusals go), and nothing is written.
refused() {
    local name=$1 code=$2 stream=$3 line=$4 got=0
    shift 4
    rm -rf "$out/refused"
    timeout 60 env "$@" >"$out/$name.out" 2>"$out/$name.err" || got=$?
    [ "$got" -eq "$code" ] || fail "$name: exit code $got, expected $code; $(cat "$out/$name.out" "$out/$name.err")"
    [ -n "$line" ] && { tail -n 1 "$out/$name.$stream" | grep -qE "^$line\$" ||
        fail "$name: not /$line/: $(tail -n 1 "$out/$name.$stream")"; }
    [ ! -e "$out/refused" ] || [ -z "$(ls -A "$out/refused")" ] || fail "$name wrote $(ls "$out/refused")"
    say "$name: exit code $code"
}
# No EGL vendor to be found at all: what each platform lacked, in one line.
refused no-egl 246 err \
    'Could not create an OpenGL context through EGL: EGL lists no devices \(EGL_EXT_platform_device\); EGL has no surfaceless platform \(EGL_MESA_platform_surfaceless\)' \
    -u DISPLAY __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent "$capture" --at 1 --out "$out/refused"
refused no-egl-bench 246 err 'Could not create an OpenGL context through EGL: .+' \
    -u DISPLAY __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent "$bench" --at 1 --frames 1
# A window asked for without a display: the window's own failure, and why.
refused glx-without-display 246 err 'Could not initialize GLFW-Context: DISPLAY is not set' \
    -u DISPLAY "$capture" --context glx --at 1 --out "$out/refused"
# GLEW's "no GLX display" is no failure without a window; another GLEW error is, with its code.
refused glew-fails 1 out 'Could not initialize GLEW-Context.' \
    -u DISPLAY LD_PRELOAD="$strict" PELK_STRICT_NO_GL_VERSION=1 "$capture" --at 1 --out "$out/refused"
grep -q 'Missing GL version' "$out/glew-fails.err" || fail "glew-fails: GLEW's error text is not on stderr"
# A driver without GL 4.5 on EGL: the window's refusal, exit code -11.
refused gl33 245 out 'Pelk needs OpenGL 4\.5; this driver \(.+, OpenGL 3\.3 .+\) lacks: OpenGL 4\.5; GLSL 4\.50' \
    -u DISPLAY MESA_GL_VERSION_OVERRIDE=3.3COMPAT MESA_GLSL_VERSION_OVERRIDE=330 \
    MESA_SHADER_CACHE_DISABLE=true "$capture" --at 1 --out "$out/refused"
# Unknown choices are bad options.
refused bad-choice 2 err "pelk-capture: --context wants auto, glx, egl, surfaceless, device or gpu, got 'wayland'" \
    "$capture" --context wayland --at 1 --out "$out/refused"
refused bad-choice-bench 2 err "pelk-bench: --context wants auto, glx, egl, surfaceless, device or gpu, got 'EGL'" \
    "$bench" --context EGL

say "PASS"
