#!/usr/bin/env bash
# Nothing lost, nothing reported wrongly, when a write fails: on a full disk (a small tmpfs
# mount, as root; skipped with the reason where mounting is not allowed) a video, a picture, the
# benchmark's JSON, a contact sheet and a difference picture are refused with one line on
# standard error and a non-zero exit, no "wrote" line, the older file of that name as it was and
# no temporary left; a video that ffmpeg says it finished is read back before it counts (one
# byte from a stand-in encoder is no video), and scripts/make-video passes the refusal on. A folder in the place of a picture's notes keeps the
# older picture and names the notes. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_full_disk
capture=$(cd "$build" && pwd)/pelk-capture
bench=$(cd "$build" && pwd)/pelk-bench
sheet=$(cd "$build" && pwd)/pelk-contact-sheet
imgdiff=$(cd "$build" && pwd)/pelk-imgdiff
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
mounts=()
cleanup() {
    local m
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null; done
    rm -rf "$work"
}
trap cleanup EXIT
PELK_TEST=e2e_full_disk
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1
export LC_ALL=C

# small_disk NAME KIB: a tmpfs of KIB KiB at $work/NAME; fails where mounting is not allowed.
small_disk() {
    mkdir -p "$work/$1" && mount -t tmpfs -o "size=$2k,mode=0777" tmpfs "$work/$1" 2>"$out/mount.err" ||
        return 1
    mounts+=("$work/$1")
}
# run NAME COMMAND...: runs it with its output in $out/NAME.out and .err; sets $code.
run() {
    local name=$1
    shift
    timeout 300 "$@" >"$out/$name.out" 2>"$out/$name.err"
    code=$?
}
# refused_whole NAME CODE TARGET OLDER LINE: the run NAME ended with CODE, its last line on
# standard error matches LINE, it printed no "wrote" line, TARGET is the same as OLDER, and no
# temporary is left beside TARGET.
refused_whole() {
    local name=$1 expected=$2 target=$3 older=$4 line=$5
    local ok=0
    [ "$code" -eq "$expected" ] || { why "exit code $code, expected $expected"; ok=1; }
    tail -n 1 "$out/$name.err" | tr '\r' '\n' | tail -n 1 | grep -Eq -- "$line" ||
        { why "its last line is not /$line/: $(tail -n 1 "$out/$name.err" | tr '\r' '\n' | tail -n 1)"; ok=1; }
    ! grep -q '^wrote' "$out/$name.out" || { why "it said: $(grep '^wrote' "$out/$name.out")"; ok=1; }
    cmp -s "$older" "$target" || { why "$target is not the older file any more"; ok=1; }
    [ -z "$(hidden_left "$(dirname "$target")")" ] ||
        { why "temporaries left: $(hidden_left "$(dirname "$target")")"; ok=1; }
    return $ok
}

# A good video of one frame, the older file the recordings below must leave as it was.
for ext in mp4 webm; do
    "$capture" --video "$work/good.$ext" --fps 10 --from 10 --to 10.1 >"$out/good-$ext.log" 2>&1 ||
        { say "FAIL: no good $ext video to start from: $(tail -n 2 "$out/good-$ext.log")"; exit 1; }
done

can_mount=1
small_disk probe 64 || can_mount=0
mount_refused="no tmpfs can be mounted here ($(head -n 1 "$out/mount.err")); run as root"

# video_on_full_disk EXT: the disk holds the good video and 16 KiB more; three seconds of video
# take more.
video_on_full_disk() {
    local ext=$1 size
    size=$(stat -c %s "$work/good.$ext")
    small_disk "video-$ext" $(((size + 4095) / 4096 * 4 + 16)) || { why "no tmpfs"; return 1; }
    cp "$work/good.$ext" "$work/video-$ext/v.$ext"
    run "video-$ext" "$capture" --video "$work/video-$ext/v.$ext" --fps 10 --to 3
    refused_whole "video-$ext" 1 "$work/video-$ext/v.$ext" "$work/good.$ext" \
        "^pelk-capture: .*No space left on device.*; $work/video-$ext/v.$ext not written$"
}
# An encoder that writes one byte and ends with 0: ffprobe finds no video in it.
lying_encoder() {
    mkdir -p "$work/liar" "$work/lied"
    printf '#!/bin/sh\nfor last; do :; done\ncat >/dev/null\nprintf x >"$last"\nexit 0\n' \
        >"$work/liar/ffmpeg"
    chmod +x "$work/liar/ffmpeg"
    cp "$work/good.mp4" "$work/lied/v.mp4"
    run lying env PATH="$work/liar:$PATH" "$capture" --video "$work/lied/v.mp4" --fps 10 --to 0.3
    refused_whole lying 1 "$work/lied/v.mp4" "$work/good.mp4" \
        "^pelk-capture: the video is not whole: ffprobe reads no video in it .*; 3 frames lasting 0.300 s were sent; $work/lied/v.mp4 not written$"
}
# scripts/make-video where the encoder meets a full disk at its trailer and ends with 0 all the
# same, as ffmpeg does (played by a stand-in, so that the disk fills at that moment on every
# machine): the tool's refusal comes through, with the encoder's words, and its exit status.
make_video_trailer_fails() {
    mkdir -p "$work/full-trailer" "$work/make-video"
    printf '#!/bin/sh\nfor last; do :; done\nhead -c 5000 >"$last"\ncat >/dev/null\n%s\nexit 0\n' \
        'echo "Error writing trailer of $last: No space left on device" >&2' \
        >"$work/full-trailer/ffmpeg"
    chmod +x "$work/full-trailer/ffmpeg"
    cp "$work/good.mp4" "$work/make-video/v.mp4"
    run make-video env PATH="$work/full-trailer:$PATH" PELK_BUILD_DIR="$build" \
        scripts/make-video --fps 1 --out "$work/make-video/v.mp4"
    local ok=0
    [ "$code" -eq 1 ] || { why "exit code $code, expected 1"; ok=1; }
    grep -q "^pelk-capture: the video is not whole: .*ffmpeg said: Error writing trailer of .*: No space left on device; $work/make-video/v.mp4 not written$" \
        "$out/make-video.err" || { why "no word from the tool of the failed trailer"; ok=1; }
    grep -q "^pelk: the recording failed (exit status 1" "$out/make-video.out" ||
        { why "make-video does not say the recording failed"; ok=1; }
    ! grep -q "^pelk: wrote" "$out/make-video.out" || { why "make-video said it wrote the video"; ok=1; }
    cmp -s "$work/good.mp4" "$work/make-video/v.mp4" || { why "the older video was replaced"; ok=1; }
    [ -z "$(hidden_left "$work/make-video")" ] || { why "temporaries left: $(hidden_left "$work/make-video")"; ok=1; }
    return $ok
}
# A picture on a disk with room for its older self only.
picture_on_full_disk() {
    small_disk pictures 16 || { why "no tmpfs"; return 1; }
    printf 'older picture' >"$work/pictures/frame-01.000.png"
    printf 'older notes' >"$work/pictures/frame-01.000.txt"
    cp "$work/pictures/frame-01.000.png" "$work/older.png"
    run picture "$capture" --at 1 --out "$work/pictures"
    refused_whole picture 1 "$work/pictures/frame-01.000.png" "$work/older.png" \
        "^pelk-capture: could not write $work/pictures/frame-01.000.png: No space left on device$" &&
        [ "$(cat "$work/pictures/frame-01.000.txt")" = "older notes" ] ||
        { why "(or the older notes were replaced)"; return 1; }
}
# A folder in the place of the notes: the older picture stays, and the notes are named.
notes_blocked() {
    mkdir -p "$work/blocked/frame-01.000.txt"
    printf 'older picture' >"$work/blocked/frame-01.000.png"
    run notes "$capture" --at 1 --out "$work/blocked"
    refused_whole notes 1 "$work/blocked/frame-01.000.png" "$work/older.png" \
        "^pelk-capture: could not write $work/blocked/frame-01.000.txt: Is a directory$"
}
# The benchmark's JSON on a disk whose one page the older JSON takes.
json_on_full_disk() {
    small_disk json 4 || { why "no tmpfs"; return 1; }
    printf '{"older": true}\n' >"$work/json/bench.json"
    cp "$work/json/bench.json" "$work/older.json"
    run json "$bench" --at 1 --frames 1 --warmup 0 --json "$work/json/bench.json"
    refused_whole json 1 "$work/json/bench.json" "$work/older.json" \
        "^pelk-bench: could not write $work/json/bench.json: No space left on device$"
}
# A contact sheet and a difference picture on a disk whose one page an older sheet takes.
pictures_tools_on_full_disk() {
    small_disk sheet 4 || { why "no tmpfs"; return 1; }
    printf 'older sheet' >"$work/sheet/sheet.png"
    cp "$work/sheet/sheet.png" "$work/older-sheet.png"
    local a=tests/reference/timeline-01.000.png b=tests/reference/timeline-03.000.png ok=0
    run sheet "$sheet" --out "$work/sheet/sheet.png" --label one "$a" --label two "$b"
    refused_whole sheet 1 "$work/sheet/sheet.png" "$work/older-sheet.png" \
        "^pelk-contact-sheet: cannot write $work/sheet/sheet.png: No space left on device$" || ok=1
    run diff "$imgdiff" "$a" "$b" --diff "$work/sheet/sheet.png"
    refused_whole diff 2 "$work/sheet/sheet.png" "$work/older-sheet.png" \
        "^pelk-imgdiff: cannot write $work/sheet/sheet.png: No space left on device$" || ok=1
    return $ok
}

for ext in mp4 webm; do
    if [ $can_mount -eq 1 ]; then
        check_case "a .$ext video on a full disk" video_on_full_disk "$ext"
    else
        skip_case "a .$ext video on a full disk" "$mount_refused"
    fi
done
check_case "an encoder that writes one byte and ends well" lying_encoder
check_case "scripts/make-video where the encoder's trailer meets a full disk" make_video_trailer_fails
for c in "a picture on a full disk|picture_on_full_disk" \
    "pelk-bench --json on a full disk|json_on_full_disk" \
    "a contact sheet and a difference picture on a full disk|pictures_tools_on_full_disk"; do
    if [ $can_mount -eq 1 ]; then
        check_case "${c%|*}" "${c#*|}"
    else
        skip_case "${c%|*}" "$mount_refused"
    fi
done
check_case "a folder in the place of a picture's notes" notes_blocked
end_cases
