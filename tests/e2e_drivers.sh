#!/usr/bin/env bash
# Other drivers than the suite's llvmpipe, as Mesa's overrides and a stricter preloaded driver
# (tests/support/StrictDriver.cpp) make them:
#   - GL 3.3 (Mesa's version overrides), softpipe, and a 4.x driver without tessellation: one
#     line naming the renderer, its version and what it lacks, exit code -11 (245), from the
#     demo, pelk-capture (pictures and video) and pelk-bench alike, and no video file;
#   - GL_RGB32F refused as a colour attachment: one line saying what is used instead, and the
#     picture at 20 s as with GL_RGB32F; every float format refused: one line, exit code -12
#     (244);
#   - no anisotropic filtering: no GL error at start-up.
# Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_drivers
strict=$build/tests/libpelk_strict_driver.so
rm -rf "$out" && mkdir -p "$out"
source tests/reference/captures.sh

say() { printf 'e2e_drivers: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    exit 1
}
[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set; run the suite through scripts/test"
[ -f "$strict" ] || fail "no preload library at $strict"
export LIBGL_ALWAYS_SOFTWARE=1
# The sanitizer build's runtime wants to be loaded first; the preload library comes before it.
export ASAN_OPTIONS="${ASAN_OPTIONS:-}${ASAN_OPTIONS:+:}verify_asan_link_order=0"

# run NAME EXPECTED_CODE COMMAND...: runs with a time limit; its console in $out/NAME.log.
run() {
    local name=$1 expected=$2 code
    shift 2
    timeout 120 "$@" >"$out/$name.log" 2>"$out/$name.err"
    code=$?
    [ "$code" -eq "$expected" ] ||
        fail "$name: exit code $code, expected $expected; its output: $out/$name.log"
}
# refused NAME LACKS: the run's console is the first start-up line and the refusal, nothing else.
refused() {
    local name=$1 lacks=$2 lines
    lines=$(wc -l <"$out/$name.log")
    head -n 1 "$out/$name.log" | grep -qE '^GL_MAX_VERTEX_ATTRIBS:[0-9]+$' &&
        [ "$lines" -eq 2 ] &&
        tail -n 1 "$out/$name.log" |
        grep -qE "^Pelk needs OpenGL 4\.5; this driver \(.+, OpenGL .+\) lacks: $lacks\$" ||
        fail "$name: the console was not the refusal ('lacks: $lacks'): $(cat "$out/$name.log")"
    say "$name: $(tail -n 1 "$out/$name.log")"
}

# GL 3.3, shader cache off so that nothing compiled before for GLSL 4.50 is found.
gl33=(env MESA_GL_VERSION_OVERRIDE=3.3COMPAT MESA_GLSL_VERSION_OVERRIDE=330
      MESA_SHADER_CACHE_DISABLE=true)
run gl33-demo 245 "${gl33[@]}" "$build/pelk"
refused gl33-demo "OpenGL 4\.5; GLSL 4\.50"
grep -q 'OpenGL 3\.3' "$out/gl33-demo.log" || fail "gl33-demo: the version is not named"
run gl33-capture 245 "${gl33[@]}" "$build/pelk-capture" --at 1 --out "$out/gl33-capture"
refused gl33-capture "OpenGL 4\.5; GLSL 4\.50"
[ ! -e "$out/gl33-capture/frame-01.000.png" ] || fail "gl33-capture wrote a picture"
run gl33-bench 245 "${gl33[@]}" "$build/pelk-bench" --at 1 --frames 2
refused gl33-bench "OpenGL 4\.5; GLSL 4\.50"
mkdir -p "$out/video"
run gl33-video 245 "${gl33[@]}" "$build/pelk-capture" --video "$out/video/timeline.mp4" --to 1
refused gl33-video "OpenGL 4\.5; GLSL 4\.50"
[ -z "$(ls -A "$out/video")" ] || fail "gl33-video left files: $(ls -A "$out/video")"

# softpipe offers GL 3.3 only.
run softpipe 245 env GALLIUM_DRIVER=softpipe "$build/pelk-capture" --at 1 --out "$out/softpipe"
refused softpipe "OpenGL 4\.5; GLSL 4\.50(; .+)?"
grep -q '(softpipe, OpenGL' "$out/softpipe.log" || fail "softpipe: the renderer is not named"

# A driver that reports 4.5 but cannot give glPatchParameteri: refused before any draw
# (drawing patches there would call a null pointer).
run no-tessellation 245 env LD_PRELOAD="$strict" PELK_STRICT_NO_TESSELLATION=1 \
    "$build/pelk-capture" --at 1 --out "$out/no-tessellation"
refused no-tessellation "tessellation shaders"

# GL_RGB32F refused: GL_RGBA32F instead, said once, and the same picture.
run rgb32f-allowed 0 "$build/pelk-capture" --at 20 --out "$out/rgb32f-allowed"
run rgb32f-refused 0 env LD_PRELOAD="$strict" PELK_STRICT_UNRENDERABLE=GL_RGB32F \
    "$build/pelk-capture" --at 20 --out "$out/rgb32f-refused"
notice="This driver cannot render into GL_RGB32F; the shadow cube and the colour images after it use GL_RGBA32F instead."
[ "$(grep -c '^This driver' "$out/rgb32f-refused.log")" -eq 1 ] &&
    grep -qxF "$notice" "$out/rgb32f-refused.log" ||
    fail "rgb32f-refused: not the one line '$notice': $(grep 'driver\|Framebuffer' "$out/rgb32f-refused.log")"
! grep -q 'Framebuffer not complete' "$out/rgb32f-refused.log" ||
    fail "rgb32f-refused: a framebuffer was reported incomplete"
if ! result=$("$build/pelk-imgdiff" "$out/rgb32f-allowed/frame-20.000.png" \
    "$out/rgb32f-refused/frame-20.000.png" --threshold "$PELK_REFERENCE_THRESHOLD" \
    --max-share "$PELK_REFERENCE_MAX_SHARE" --max-mean "$PELK_REFERENCE_MAX_MEAN" \
    --diff "$out/rgb32f-diff.png"); then
    fail "with GL_RGB32F refused the picture at 20 s differs: $result ($out/rgb32f-diff.png)"
fi
say "GL_RGB32F refused: '$notice', the picture at 20 s as with it ($result)"

# GL_RGBA32F refused too: GL_RGBA16F, whose half floats change a few pixels by more than the
# reference tolerance (0.06% at 20 s), none by much.
run rgba16f 0 env LD_PRELOAD="$strict" PELK_STRICT_UNRENDERABLE=GL_RGB32F,GL_RGBA32F \
    "$build/pelk-capture" --at 20 --out "$out/rgba16f"
grep -qxF "${notice/GL_RGBA32F instead/GL_RGBA16F instead}" "$out/rgba16f.log" ||
    fail "rgba16f: no line saying GL_RGBA16F is used: $(grep 'driver' "$out/rgba16f.log")"
"$build/pelk-imgdiff" "$out/rgb32f-allowed/frame-20.000.png" "$out/rgba16f/frame-20.000.png" \
    --threshold "$PELK_REFERENCE_THRESHOLD" --max-share 0.5 --max-mean "$PELK_REFERENCE_MAX_MEAN" \
    >/dev/null || fail "with GL_RGBA16F the picture at 20 s is far from the one with GL_RGB32F"

# Every float format refused: nothing could be drawn.
run unrenderable 244 env LD_PRELOAD="$strict" PELK_STRICT_UNRENDERABLE=GL_RGB32F,GL_RGBA32F,GL_RGBA16F \
    "$build/pelk-capture" --at 1 --out "$out/unrenderable"
last=$(tail -n 1 "$out/unrenderable.log")
[ "$last" = "This driver cannot render into the shadow cube in any of GL_RGB32F, GL_RGBA32F and GL_RGBA16F (framebuffer status 36061); Pelk cannot run on it." ] ||
    fail "unrenderable: the last line was '$last'"
say "no float format: '$last'"

# Without anisotropic filtering the start-up's GL error numbers (after each cube target and
# the quad buffer) stay 0.
run no-anisotropy 0 env MESA_EXTENSION_OVERRIDE="-GL_EXT_texture_filter_anisotropic -GL_ARB_texture_filter_anisotropic" \
    "$build/pelk-capture" --at 1 --out "$out/no-anisotropy"
errors=$(grep -oE '(3ds|^)[0-9]+$' "$out/no-anisotropy.log" | sed 's/^3ds//' | tr '\n' ' ')
[ "$errors" = "0 0 0 " ] || fail "no-anisotropy: start-up GL error numbers '$errors', expected 0 0 0"
say "PASS"
