#!/usr/bin/env bash
# The real demo in a window that the user resizes: at 1280 x 960 the picture fills the window;
# at 1280 x 800 (wider than 4:3) it keeps its proportions between black bars (1067 x 800 from
# column 106). Screenshots of the window are taken from the display with ffmpeg's x11grab.
# Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_resize
pelk=$build/pelk
checks=tests/support/pictures.py
rm -rf "$out" && mkdir -p "$out"
pid=
win=

say() { printf 'e2e_resize: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    [ -s "$out/demo.out" ] && { say "--- demo output (last lines)"; tail -n 10 "$out/demo.out"; }
    exit 1
}
source tests/support/demo_process.sh
trap stop_demo EXIT

[ -x "$pelk" ] || fail "no demo binary at $pelk"
[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set; run the suite through scripts/test"
command -v ffmpeg >/dev/null || fail "ffmpeg is needed for the screenshots (scripts/test installs it)"

"$pelk" >"$out/demo.out" 2>"$out/demo.err" &
pid=$!

# The title shows a new rate after frames were presented; a few new titles after a resize
# mean that frames were drawn at the new size.
titles_seen=0
last_title=
new_title() {
    demo_running || fail "the demo ended (last title '$(title)')"
    local now
    now=$(title)
    if [[ "$now" =~ ^Pelk\ FPS:\ [0-9.]+$ ]] && [ "$now" != "$last_title" ]; then
        last_title=$now
        titles_seen=$((titles_seen + 1))
    fi
    [ "$titles_seen" -ge 3 ]
}
# resize_and_shoot W H NAME: resizes the window, waits for frames at that size, and takes its
# picture from the display into $out/NAME.png.
resize_and_shoot() {
    local width=$1 height=$2 name=$3 geometry x y
    xdotool windowsize "$win" "$width" "$height" 2>/dev/null || fail "xdotool could not resize"
    titles_seen=0
    last_title=$(title)
    wait_for 120 new_title || fail "no frames drawn within 120 s of the resize to $width x $height"
    geometry=$(xdotool getwindowgeometry --shell "$win") || fail "no geometry for the window"
    x=$(sed -n 's/^X=//p' <<<"$geometry")
    y=$(sed -n 's/^Y=//p' <<<"$geometry")
    [ "$(sed -n 's/^WIDTH=//p' <<<"$geometry")x$(sed -n 's/^HEIGHT=//p' <<<"$geometry")" = \
        "${width}x$height" ] || fail "the window is not $width x $height: $geometry"
    ffmpeg -loglevel error -y -f x11grab -draw_mouse 0 -video_size "${width}x$height" \
        -i "$DISPLAY+$x,$y" -frames:v 1 -pix_fmt rgb24 "$out/$name.png" ||
        fail "ffmpeg could not take the window's picture"
}

wait_for 30 find_window || fail "no window named Pelk for process $pid within 30 s"

resize_and_shoot 1280 960 larger
python3 "$checks" fills "$out/larger.png" || fail "the picture does not fill the window: $out/larger.png"
resize_and_shoot 1280 800 wider
python3 "$checks" bars "$out/wider.png" 106 1067 ||
    fail "the picture is not 4:3 between bars: $out/wider.png"

xdotool keydown --window "$win" Escape 2>/dev/null || fail "xdotool could not send Escape"
wait_for 80 demo_ended || fail "the demo did not end within 80 s of Escape"
xdotool keyup Escape 2>/dev/null
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || fail "the demo ended with exit code $code, expected 0"
say "PASS"
