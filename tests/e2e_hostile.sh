#!/usr/bin/env bash
# The real demo started from working folders that lack "res", lack "src", hold a "res" without
# the meshes, or hold garbage in place of every picture and mesh (and named pipes in place of a
# picture and a stage file): it prints the loaders' messages, renders frames and ends on Escape
# with exit code 0. Started from
# a folder with neither, it says so in one line and reads them from the tree it was built from.
# Killed while drawing, with its output in a file, it leaves every start-up line there. Run from
# the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_hostile
pelk=$(cd "$build" && pwd)/pelk
root=$(pwd)
mkdir -p "$out"
pid=
win=
scenario=setup
work=$(mktemp -d)

say() { printf 'e2e_hostile: %s\n' "$*"; }
fail() {
    say "FAIL ($scenario): $*"
    for f in "$out/$scenario.out" "$out/$scenario.err"; do
        [ -s "$f" ] && { say "--- $f (last lines)"; tail -n 20 "$f"; }
    done
    exit 1
}
xvfb=
source tests/support/demo_process.sh
cleanup() {
    stop_demo
    [ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# A display of our own: a key held on a shared display reaches other tests' demo windows too.
own_display() {
    local n i
    for n in $(seq 160 220); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        # -noreset: a server that resets when its last client leaves can refuse the next one.
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
        xvfb=$!
        for i in $(seq 1 100); do
            DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && { export DISPLAY=":$n"; return 0; }
            kill -0 "$xvfb" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb" 2>/dev/null
        xvfb=
    done
    return 1
}


find_window() {
    demo_running || fail "the demo ended before its window appeared ($(ended_how))"
    win=$(xdotool search --all --pid "$pid" --name '^Pelk' 2>/dev/null | head -n 1)
    [ -n "$win" ]
}
ended_how() {
    wait "$pid"
    printf 'exit code %s' "$?"
}
# A rate above zero in the title means frames were presented and counted.
frames_presented() {
    demo_running || fail "the demo ended while running frames ($(ended_how))"
    [[ "$(title)" =~ ^Pelk\ FPS:\ [0-9]+\.[0-9]+$ ]] && [[ ! "$(title)" =~ ^Pelk\ FPS:\ 0\.0+$ ]]
}

# Garbage of a few shapes, the same on every run: random bytes; the right magic and, for a
# mesh, a main chunk whose length fits the file, then random bytes (so the importer itself reads
# them); an empty file; the real file cut in half, its main chunk length made to fit the cut.
RANDOM=1234
garbage_block=$work/garbage.bin
for _ in $(seq 1 3000); do printf "\\$(printf '%03o' $((RANDOM % 256)))"; done >"$garbage_block"
le32() { printf "\\$(printf '%03o' $(($1 & 255)))\\$(printf '%03o' $((($1 >> 8) & 255)))\\$(printf '%03o' $((($1 >> 16) & 255)))\\$(printf '%03o' $((($1 >> 24) & 255)))"; }
garble() {  # garble FILE N: replaces FILE with garbage shape N mod 4
    local size half
    size=$(stat -c %s "$1")
    half=$((size / 2))
    case $(($2 % 4)) in
        0) cp "$garbage_block" "$1" ;;
        1) if [[ $1 == *.3ds ]]; then
               { printf 'MM'; le32 $((3000 + 6)); cat "$garbage_block"; } >"$1.new"
           else
               { printf 'BM'; cat "$garbage_block"; } >"$1.new"
           fi
           mv "$1.new" "$1" ;;
        2) : >"$1" ;;
        3) if [[ $1 == *.3ds ]]; then
               { printf 'MM'; le32 "$half"; tail -c +7 "$1" | head -c $((half - 6)); } >"$1.new"
           else
               head -c "$half" "$1" >"$1.new"
           fi
           mv "$1.new" "$1" ;;
    esac
}

# start_case NAME: starts the demo in $work/NAME, its console into files, and waits until it
# presents frames.
start_case() {
    scenario=$1
    (cd "$work/$scenario" && exec "$pelk") >"$out/$scenario.out" 2>"$out/$scenario.err" &
    pid=$!
    wait_for 60 find_window || fail "no window named Pelk within 60 s"
    wait_for 150 frames_presented || fail "title stayed '$(title)': no frame within 150 s"
}

# has_line LINE / lacks PATTERN: the console of the current scenario holds that exact line /
# nothing that matches.
has_line() { grep -Fxq -- "$1" "$out/$scenario.out" || fail "console lacks the line '$1'"; }
lacks() { ! grep -Eq -- "$1" "$out/$scenario.out" || fail "console has /$1/: $(grep -Em1 -- "$1" "$out/$scenario.out")"; }

# run_case NAME CHECK...: runs the demo in $work/NAME until frames show, sends Escape, and then
# greps its console for each CHECK (an extended regular expression).
run_case() {
    start_case "$1"
    shift
    # A few seconds of frames, not just the first.
    sleep 3
    frames_presented || fail "frames stopped: title '$(title)'"
    local shown
    shown=$(title)
    xdotool keydown --window "$win" Escape 2>/dev/null || fail "xdotool could not send Escape"
    wait_for 90 demo_ended || fail "the demo did not end within 90 s of Escape"
    # The window is gone: release the key on the display itself, or it stays down for the next.
    xdotool keyup Escape 2>/dev/null
    wait "$pid"
    local code=$?
    pid=
    [ "$code" -eq 0 ] || fail "exit code $code after Escape, expected 0"
    local check
    for check in "$@"; do
        grep -Eq -- "$check" "$out/$scenario.out" || fail "console lacks /$check/"
    done
    say "$scenario: frames until Escape, title '$shown', messages as expected"
}

[ -x "$pelk" ] || { scenario=setup; fail "no demo binary at $pelk"; }
own_display || { scenario=setup; fail "could not start an Xvfb display of our own"; }

mkdir -p "$work/no-res" "$work/no-src" "$work/garbage" "$work/elsewhere" "$work/killed-demo" \
    "$work/empty-res/res"
ln -s "$root/src" "$work/empty-res/"
cp -r "$root/src" "$work/no-res/"
cp -r "$root/res" "$work/no-src/"
cp -r "$root/src" "$root/res" "$work/garbage/"
ln -s "$root/src" "$root/res" "$work/killed-demo/"
n=0
for f in "$work"/garbage/res/models/* "$work"/garbage/res/textures/*; do
    garble "$f" "$n"
    n=$((n + 1))
done
# Named pipes with no writer, in place of a picture and a stage file: opening one would wait
# for good.
for f in "$work/garbage/res/textures/water.bmp" "$work/garbage/src/1stPass_2.fragmentshader"; do
    rm -f "$f" && mkfifo "$f"
done

run_case no-res \
    '^Reading image \./res/textures/skybox\.bmp$' '^Image could not be opened$' \
    '^\./res/models/sphere\.3ds: could not load model \./res/models/sphere\.3ds: '
has_line "./res is missing in $work/no-res: the meshes and pictures cannot be read"
# A res/ without the meshes: one line says so before the window's first line, and the demo runs.
run_case empty-res '^\./res/models/sphere\.3ds: could not load model \./res/models/sphere\.3ds: '
has_line "./res in $work/empty-res lacks the scene's meshes: 8 of 8 cannot be read (./res/models/sphere.3ds: No such file or directory)"
[ "$(grep -n -m1 "lacks the scene's meshes" "$out/$scenario.out" | cut -d: -f1)" -lt \
    "$(grep -n -m1 '^GL_MAX_VERTEX_ATTRIBS:' "$out/$scenario.out" | cut -d: -f1)" ] ||
    fail "the line about the meshes does not come before GL_MAX_VERTEX_ATTRIBS:"
run_case no-src \
    '^Compiling shader : \./src/2ndPass\.vertexshader$' '^Linking program$'
has_line "./src is missing in $work/no-src: the stage files cannot be read, so no program will build"

# Started from a folder with neither: the demo says so and reads them where it was built.
run_case elsewhere 'Reading image \./res/textures/skybox\.bmp$'
has_line "./src and ./res are missing in $work/elsewhere; reading them from $root, where this program was built"
lacks 'could not be opened|could not load model|is missing in .*: '
lacks '^[0-9]+:[0-9]+\([0-9]+\): (error|preprocessor error)'

# Killed with output into a file: every line printed so far is there (the output goes line by
# line, not in blocks that a kill throws away).
start_case killed-demo
kill -KILL "$pid"
wait "$pid" 2>/dev/null
pid=
[[ "$(head -n 1 "$out/$scenario.out")" =~ ^GL_MAX_VERTEX_ATTRIBS:[0-9]+$ ]] ||
    fail "the first line of start-up is gone after a kill: '$(head -c 200 "$out/$scenario.out")'"
grep -Eq 'Reading image \./res/textures/skybox\.bmp$' "$out/$scenario.out" ||
    fail "the last lines of start-up are gone after a kill"
[ "$(tail -c 1 "$out/$scenario.out" | od -An -c | tr -d ' ')" = '\n' ] ||
    fail "the console ends inside a line after a kill"
say "$scenario: killed while drawing; its start-up lines are all on the console"
run_case garbage \
    '^Not a (correct|usable) BMP file' \
    '^Not a usable BMP file \./res/textures/water\.bmp: not a regular file$' \
    '^Compiling shader : \./src/1stPass_2\.fragmentshader$' \
    'could not load model \./res/models/barrel\.3ds: ' \
    '^Compiling shader : \./src/3rdPass\.fragmentshader$'
say "PASS"
