#!/usr/bin/env bash
# pelk-capture given what a user might mistype, started from the wrong folder, with stage files
# that an editor spoilt, and out of disk space: bad options end at once with exit code 2 and a
# message that names them; a start-up that gives no pipeline (no ./src or ./res, a program that
# does not link) ends with exit code 3 and writes nothing; a stage file that starts with a UTF-8
# byte-order mark draws as it would without one; a picture that cannot be written whole leaves
# nothing behind and exit code 1. pelk-bench refuses the wrong folder the same way. With an X
# display or without one (scripts/test --headless). Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_capture_hostile
capture=$(cd "$build" && pwd)/pelk-capture
bench=$(cd "$build" && pwd)/pelk-bench
root=$(pwd)
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

say() { printf 'e2e_capture_hostile: %s\n' "$*"; }
fail() {
    say "FAIL: $*"
    exit 1
}

for tool in "$capture" "$bench"; do [ -x "$tool" ] || fail "no $tool"; done
export LIBGL_ALWAYS_SOFTWARE=1

pictures=$out/pictures
nothing_written() { [ ! -e "$pictures" ] || [ -z "$(ls -A "$pictures")" ]; }

# ends_with CODE PATTERN [env ...] PROGRAM ARGS...: the program ends with CODE within 60 s (a
# loop that never ends is a failure too), says PATTERN on stderr and writes no picture.
ends_with() {
    local code=$1 pattern=$2
    shift 2
    rm -rf "$pictures"
    timeout 60 "$@" >"$out/run.out" 2>"$out/run.err"
    local got=$?
    [ $got -eq "$code" ] || fail "'$*' ended with $got, expected $code: $(tail -n 2 "$out/run.err")"
    grep -Eq -- "$pattern" "$out/run.err" ||
        fail "'$*' did not say /$pattern/: $(tail -n 2 "$out/run.err")"
    nothing_written || fail "'$*' wrote $(ls -A "$pictures")"
}

# Options: times, steps and counts finite and in range, lights finite, names distinct.
seconds="wants seconds from 0 to 86400"
ends_with 2 "--at $seconds, got 'inf'" "$capture" --at inf --out "$pictures"
ends_with 2 "--at $seconds, got '1e30'" "$capture" --at 1e30 --out "$pictures"
ends_with 2 "--at $seconds, got '-1'" "$capture" --at -1 --out "$pictures"
ends_with 2 "--step wants seconds from 1/240 to 86400, got '1e-300'" \
    "$capture" --at 1 --step 1e-300 --out "$pictures"
ends_with 2 "--time $seconds, got 'inf'" "$capture" --frames 2 --time inf
ends_with 2 "--frames wants a whole number of frames from 1 to 100000, got '1e10'" \
    "$capture" --frames 1e10
ends_with 2 "--frames wants a whole number .* got '2.5'" "$capture" --frames 2.5
ends_with 2 "100000 frames 86400 s apart from 20.000 s run past 86400 s" \
    "$capture" --frames 100000 --step 86400
for light in nan,nan,nan inf,0,0 1,2 1,2,3,4 1,2,3x 0,1001,0; do
    ends_with 2 "--light wants X,Y,Z, three numbers from -1000 to 1000, got '$light'" \
        "$capture" --at 1 --light "$light" --out "$pictures"
done
ends_with 2 "--shadow-mode wants 0 \(hard\), 1 \(soft\) or 2 \(filtered\), got '1.5'" \
    "$capture" --at 1 --shadow-mode 1.5 --out "$pictures"
ends_with 2 "--at 1.0001 and --at 1.0002 would both be frame-01.000.png" \
    "$capture" --at 1.0001 --at 1.0002 --out "$pictures"
ends_with 2 "cannot make the folder /dev/null/pictures" "$capture" --at 1 --out /dev/null/pictures
say "bad options: exit code 2 at once, with a message naming them"

# Started from another folder: neither the stage files nor the scene are there.
mkdir -p "$work/elsewhere"
cd "$work/elsewhere"
ends_with 3 "^pelk-capture: \./src and \./res are missing in $work/elsewhere: " \
    "$capture" --at 1 --out "$pictures"
ends_with 3 "^pelk-bench: \./src and \./res are missing in $work/elsewhere: " "$bench" --frames 1
ends_with 3 "\./src and \./res are missing" "$capture" --video "$out/video.mp4" --to 1
[ ! -e "$out/video.mp4" ] || fail "a video was written from the wrong folder"

# An empty stage file (the post-process program cannot link) and stage files that start with
# a byte-order mark. Every picture is that of the demo's own stage files or none at all.
mkdir -p "$work/empty-stage" "$work/marked"
cp -r "$root/src" "$work/empty-stage/"
: >"$work/empty-stage/src/3rdPass.fragmentshader"
mkdir -p "$work/marked/src"
for stage in "$root"/src/*; do
    { printf '\357\273\277'; cat "$stage"; } >"$work/marked/src/$(basename "$stage")"
done
ln -s "$root/res" "$work/empty-stage/res"
ln -s "$root/res" "$work/marked/res"
cd "$work/empty-stage"
ends_with 3 "^pelk-capture: the post-process program did not link$" \
    "$capture" --at 1 --out "$pictures"
grep -q "^pelk-capture: nothing written, as the frames would not show the scene$" "$out/run.err" ||
    fail "no word that nothing was written"
cd "$work/marked"
"$capture" --at -0 --out "$out/marked" >"$out/marked.log" 2>&1 ||
    fail "stage files with a byte-order mark did not capture: $(tail -n 3 "$out/marked.log")"
cd "$root"
"$capture" --at 0 --out "$out/plain" >"$out/plain.log" 2>&1 ||
    fail "the plain capture failed: $(tail -n 3 "$out/plain.log")"
# -0 is 0, in the picture's name too.
[ -s "$out/marked/frame-00.000.png" ] || fail "no frame-00.000.png for --at -0: $(ls -A "$out/marked")"
cmp -s "$out/marked/frame-00.000.png" "$out/plain/frame-00.000.png" ||
    fail "stage files with a byte-order mark draw another picture"
say "wrong folder, empty stage file: exit code 3 and nothing written; a byte-order mark: the same picture"

# A disk that takes no more than 64 KiB of a file (the file size limit stands in for a full
# disk): the picture cannot be written whole, so nothing is left of it.
rm -rf "$pictures"
(trap '' XFSZ && ulimit -f 64 && exec "$capture" --at 0 --out "$pictures") \
    >"$out/full.out" 2>"$out/full.err"
code=$?
[ $code -eq 1 ] || fail "a full disk ended the capture with $code, expected 1"
grep -q "^pelk-capture: could not write $pictures/frame-00.000.png: File too large$" "$out/full.err" ||
    fail "no word of the failed write: $(tail -n 2 "$out/full.err")"
grep -q "^wrote" "$out/full.out" && fail "a failed write was reported as written"
nothing_written || fail "a full disk left $(ls -A "$pictures")"
say "full disk: exit code 1 and no half-written picture or note"
say "PASS"
