#!/usr/bin/env bash
# The real demo: its first console line, the frame-rate title, taps of F shorter than a frame,
# the end on Escape with exit code 0, and the exit code -10 (246) when no window can be made.
# Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_demo
pelk=$build/pelk
mkdir -p "$out"
pid=
win=

say() { printf 'e2e_demo: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    for f in "$out"/demo.out "$out"/demo.err; do
        [ -s "$f" ] && { say "--- $f (last lines)"; tail -n 20 "$f"; }
    done
    exit 1
}

source tests/support/demo_process.sh
trap stop_demo EXIT

[ -x "$pelk" ] || fail "no demo binary at $pelk"

# Without a display the window cannot be made: the message without a line end, exit code -10.
for display in unset ":987"; do
    if [ "$display" = unset ]; then
        env -u DISPLAY -u WAYLAND_DISPLAY timeout 20 "$pelk" >"$out/nodisplay.out" 2>"$out/nodisplay.err"
    else
        env -u WAYLAND_DISPLAY DISPLAY="$display" timeout 20 "$pelk" >"$out/nodisplay.out" 2>"$out/nodisplay.err"
    fi
    code=$?
    [ "$code" -eq 246 ] || fail "DISPLAY $display: exit code $code, expected 246 (-10)"
    printf 'Could not initialize GLFW-Context' | cmp -s - "$out/nodisplay.out" ||
        fail "DISPLAY $display: console was '$(cat "$out/nodisplay.out")'"
done
say "no display: message and exit code 246 as expected"

[ -n "${DISPLAY:-}" ] || fail "DISPLAY is not set; run the suite through scripts/test"

"$pelk" >"$out/demo.out" 2>"$out/demo.err" &
pid=$!

rate_title_shown() {
    demo_running || fail "the demo ended while waiting for its title (last: '$(title)')"
    [[ "$(title)" =~ ^Pelk\ FPS:\ [0-9]+\.[0-9]{6}$ ]]
}
# A rate above zero means frames were presented and counted between two titles.
frames_presented() {
    rate_title_shown && [[ ! "$(title)" =~ ^Pelk\ FPS:\ 0\.0+$ ]]
}

# Generous limits: a frame of the full scene on the software rasteriser can take many seconds.
wait_for 30 find_window || fail "no window named Pelk for process $pid within 30 s"
wait_for 90 rate_title_shown || fail "title '$(title)' never matched 'Pelk FPS: <number>' within 90 s"
wait_for 90 frames_presented || fail "title stayed '$(title)': no frame presented within 90 s"
say "title '$(title)'"

# A tap of F, its press and release sent together (shorter than any frame), hides the rate; a
# second tap shows it again. Each tap is seen, and flips the switch once.
bare_title_shown() {
    demo_running || fail "the demo ended while waiting for its bare title (last: '$(title)')"
    [ "$(title)" = Pelk ]
}
xdotool key --window "$win" f 2>/dev/null || fail "xdotool could not send F"
wait_for 90 bare_title_shown || fail "title stayed '$(title)' after a tap of F, expected 'Pelk'"
xdotool key --window "$win" f 2>/dev/null || fail "xdotool could not send F"
wait_for 90 frames_presented || fail "title stayed '$(title)' after a second tap of F"
say "two taps of F: rate hidden, then shown again"

# Escape is held until the demo has ended: a press and release within one frame could both be
# polled before the key is read. Sent to the window itself, so no window manager or focus is
# needed and no key stays down on a display that other tests share.
xdotool keydown --window "$win" Escape 2>/dev/null || fail "xdotool could not send Escape"
wait_for 80 demo_ended || fail "the demo did not end within 80 s of Escape"
# The window is gone by now: release the key on the display itself, so that no later demo on
# this display starts with Escape held.
xdotool keyup Escape 2>/dev/null
wait "$pid"
code=$?
pid=
[ "$code" -eq 0 ] || fail "the demo ended with exit code $code after Escape, expected 0"

first=$(head -n 1 "$out/demo.out")
[[ "$first" =~ ^GL_MAX_VERTEX_ATTRIBS:[0-9]+$ ]] ||
    fail "first console line was '$first', expected GL_MAX_VERTEX_ATTRIBS:<n>"
say "PASS"
