#!/usr/bin/env bash
# pelk-capture --video: one second of the camera flight, recorded twice at 10 frames a second,
# decodes to the same frames; the file is H.264 of 1024 x 768 with 10 frames in 1 s, and its
# first frame is the picture of 10 s. Without --to the video ends 5 s after the timeline. Bad
# input, a missing or failing ffmpeg, one that writes nothing, and Ctrl-C, SIGHUP or SIGQUIT
# during a recording (also while a hung ffmpeg holds it in a write) end with their exit status
# and message and leave no file behind. With an X display or without one (scripts/test
# --headless). Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_video
capture=$(cd "$build" && pwd)/pelk-capture
source tests/support/demo_process.sh
rm -rf "$out" && mkdir -p "$out"
pid=

say() { printf 'e2e_video: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    exit 1
}
cleanup() { [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; }
trap cleanup EXIT

[ -x "$capture" ] || fail "no pelk-capture in $build"
for tool in ffmpeg ffprobe; do
    command -v $tool >/dev/null || fail "no $tool; scripts/test installs it"
done
# The reference picture is one of Mesa's software rasteriser.
export LIBGL_ALWAYS_SOFTWARE=1

# No file named like the video, nor its hidden temporary, is in the folder.
no_file_left() { ! ls -A "$(dirname "$1")" | grep -q "$(basename "$1")"; }
# frames FILE: the number of frames the file decodes to.
frames() {
    ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames \
        -of default=nw=1:nk=1 "$1"
}

# refused CODE PATTERN COMMAND...: the command ends with CODE, says PATTERN on stderr and leaves
# no file.
bad=$out/bad.mp4
refused() {
    local code=$1 pattern=$2
    shift 2
    "$@" >"$out/refused.out" 2>"$out/refused.err"
    local got=$?
    [ $got -eq "$code" ] || fail "'${*:2}' ended with $got, expected $code"
    grep -Eq -- "$pattern" "$out/refused.err" ||
        fail "'${*:2}' did not say /$pattern/: $(tail -n 2 "$out/refused.err")"
    no_file_left "$bad" || fail "'${*:2}' left a file: $(ls -A "$out")"
}
for fps in 0 -5 x; do
    refused 2 "--fps wants a whole number" env "$capture" --video "$bad" --fps $fps
done
refused 2 "--to \(1 s\) must be after --from \(2 s\)" env "$capture" --video "$bad" --from 2 --to 1
# sysfs takes no new file, not even from root.
refused 2 "cannot write into the folder /sys" env "$capture" --video /sys/bad.mp4
refused 2 "install the Debian package ffmpeg" env PATH=/nonexistent "$capture" --video "$bad"
# An ffmpeg that reads a frame or so into its output file and fails.
mkdir -p "$out/broken"
printf '#!/bin/sh\nfor last; do :; done\nhead -c 3000000 >"$last"\nexit 1\n' >"$out/broken/ffmpeg"
chmod +x "$out/broken/ffmpeg"
refused 1 "ffmpeg ended with exit status 1; $bad not written" \
    env PATH="$out/broken:$PATH" "$capture" --video "$bad" --fps 10 --to 3

# Ctrl-C once frames are going to ffmpeg: the unfinished file goes, the exit is by SIGINT.
"$capture" --video "$bad" --fps 10 --to 30 >"$out/stopped.out" 2>"$out/stopped.err" &
pid=$!
wait_for 120 grep -q "frame 2 of 300" "$out/stopped.err" || fail "no frame recorded before Ctrl-C"
kill -INT "$pid"
wait "$pid"
code=$?
pid=
[ $code -eq 130 ] || fail "Ctrl-C ended the recording with $code, expected 130 (SIGINT)"
grep -q "interrupted; $bad not written" "$out/stopped.err" || fail "no word of the interruption"
no_file_left "$bad" || fail "Ctrl-C left a file: $(ls -A "$out")"

# An encoder that reads every frame and ends well without writing a byte has made no video.
mkdir -p "$out/silent"
printf '#!/bin/sh\ncat >/dev/null\nexit 0\n' >"$out/silent/ffmpeg"
chmod +x "$out/silent/ffmpeg"
refused 1 "ffmpeg ended with exit status 0 but wrote nothing; $bad not written" \
    env PATH="$out/silent:$PATH" "$capture" --video "$bad" --fps 10 --to 0.3

# An encoder that stops reading and ignores every polite signal (a hung or stopped ffmpeg): the
# recording blocks in a write to it. Ctrl-C, SIGHUP (the terminal closed) and SIGQUIT each end
# the recording within seconds, by that signal, and leave no file. Nothing here waits a second
# on purpose: ten seconds only tell a stop from a hang.
mkdir -p "$out/stalled"
printf '#!/bin/sh\ntrap "" INT TERM HUP QUIT\necho $$ >"%s"\nexec sleep 300\n' "$out/stalled/pid" \
    >"$out/stalled/ffmpeg"
chmod +x "$out/stalled/ffmpeg"
# Blocked in a write to the pipe, as the kernel says; where it does not say, after a while.
blocked_in_write() {
    demo_running || fail "the recording ended before it blocked ($(tail -n 2 "$out/stalled.err"))"
    case $(cat "/proc/$pid/wchan" 2>/dev/null) in
        *pipe_write*) return 0 ;;
        '' | 0) [ $((SECONDS - started)) -ge 20 ] ;;
        *) return 1 ;;
    esac
}
for signal in INT HUP QUIT; do
    started=$SECONDS
    rm -f "$out/stalled/pid"
    (ulimit -c 0 && exec env PATH="$out/stalled:$PATH" "$capture" --video "$bad" --fps 10 --to 30) \
        >"$out/stalled.out" 2>"$out/stalled.err" &
    pid=$!
    wait_for 120 blocked_in_write || fail "the recording never blocked on the stalled encoder"
    kill -"$signal" "$pid"
    wait_for 10 demo_ended || fail "SIG$signal did not end a recording stuck on its encoder in 10 s"
    wait "$pid"
    code=$?
    pid=
    expected=$((128 + $(kill -l "$signal")))
    [ $code -eq $expected ] || fail "SIG$signal ended the recording with $code, expected $expected"
    grep -q "interrupted; $bad not written" "$out/stalled.err" || fail "no word of SIG$signal"
    no_file_left "$bad" || fail "SIG$signal left a file: $(ls -A "$out")"
    kill -0 "$(cat "$out/stalled/pid")" 2>/dev/null && fail "the stalled encoder outlived the recording"
done
say "bad input, missing, failing, silent and stalled ffmpeg, Ctrl-C, SIGHUP, SIGQUIT: refused and no file left"

# One second of the flight, twice.
for run in first second; do
    "$capture" --video "$out/$run.mp4" --fps 10 --from 10 --to 11 >"$out/$run.out" \
        2>"$out/$run.err" || fail "recording $run failed: $(tail -c 300 "$out/$run.err")"
    ffmpeg -v error -i "$out/$run.mp4" -f framemd5 "$out/$run.framemd5" ||
        fail "ffmpeg cannot decode $run.mp4"
done
grep -q "^wrote $out/first.mp4: 10 frames, 1.000 s of video" "$out/first.out" ||
    fail "no 'wrote' line: $(tail -n 1 "$out/first.out")"
grep -Eq "frame 10 of 10, [0-9.]+ frames/s, 0:00 left" "$out/first.err" || fail "no progress line"
diff -q "$out/first.framemd5" "$out/second.framemd5" >/dev/null ||
    fail "the same recording twice decodes to different frames"
report=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries \
    stream=codec_name,width,height,pix_fmt,nb_read_frames:format=duration -of default=nw=1 \
    "$out/first.mp4")
for line in codec_name=h264 width=1024 height=768 pix_fmt=yuv420p nb_read_frames=10 \
    duration=1.000000; do
    grep -qx "$line" <<<"$report" || fail "ffprobe does not report $line: $(tr '\n' ' ' <<<"$report")"
done
# The first frame is what the capture tool's reference picture of 10 s shows, but for the
# encoder's losses: about 1.7 of 255 per channel on the mean and 0.7% of the pixels off by more
# than 16. A frame upside down, black or of another moment is far beyond that.
ffmpeg -v error -i "$out/first.mp4" -frames:v 1 -y "$out/first-10.000.png" ||
    fail "cannot take the first frame"
"$build/pelk-imgdiff" tests/reference/timeline-10.000.png "$out/first-10.000.png" \
    --threshold 16 --max-share 2 --max-mean 3 --diff "$out/first-10.000-diff.png" ||
    fail "the first frame is not the picture of 10 s"
say "two recordings of 10 s to 11 s: the same frames, H.264 1024 x 768, 10 frames in 1 s"

# Without --to: the timeline's last track ends at 64 s, so the last frame at 10 a second is
# 68.9 s.
"$capture" --video "$out/end.mp4" --fps 10 --from 68.85 >"$out/end.out" 2>&1 ||
    fail "recording the end failed: $(tail -n 3 "$out/end.out")"
grep -q "^recording 1 frame, 68.900 s to 69.000 s" "$out/end.out" ||
    fail "the video does not end at 69 s: $(grep '^recording' "$out/end.out")"
[ "$(frames "$out/end.mp4")" = 1 ] || fail "end.mp4 does not hold 1 frame"
say "PASS"
