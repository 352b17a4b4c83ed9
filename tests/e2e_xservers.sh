#!/usr/bin/env bash
# Odd X servers, each an Xvfb of the test's own: on an 8-bit server (no GLX visual for the
# window) and on a stopped one (it takes the connection and never answers), --context auto
# draws through EGL instead, says why in one line, and writes its picture; --context glx ends
# with exit code -10 (246) and one line that says why, within seconds, not never. A recording
# whose X server dies leaves no temporary behind and says that its video was not written. Run
# from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_xservers
capture=$(cd "$build" && pwd)/pelk-capture
rm -rf "$out" && mkdir -p "$out"
servers=()
cleanup() {
    local s
    for s in "${servers[@]}"; do
        kill -CONT "$s" 2>/dev/null
        kill "$s" 2>/dev/null
    done
}
trap cleanup EXIT
PELK_TEST=e2e_xservers
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1

# own_server DEPTH: an Xvfb of that depth on a free display number from 150 to 199; sets
# $server (its process) and $display.
own_server() {
    local n i
    for n in $(seq 150 199); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "1280x1024x$1" -nolisten tcp -noreset >/dev/null 2>&1 &
        server=$!
        for i in $(seq 1 100); do
            DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && { display=:$n; servers+=("$server"); return 0; }
            kill -0 "$server" 2>/dev/null || break
            sleep 0.1
        done
        kill "$server" 2>/dev/null
    done
    return 1
}

# shoot NAME CONTEXT: a picture at 1 s on $display, within 60 s; sets $code.
shoot() {
    rm -rf "$out/$1"
    DISPLAY=$display timeout 60 "$capture" --context "$2" --at 1 --out "$out/$1" \
        >"$out/$1.out" 2>"$out/$1.err"
    code=$?
}
# falls_back NAME WHY: the picture was drawn through EGL, one line on standard error says WHY.
falls_back() {
    local ok=0
    [ $code -eq 0 ] || { why "auto ended with $code: $(tail -n 1 "$out/$1.err")"; return 1; }
    [ -s "$out/$1/frame-01.000.png" ] || { why "auto wrote no picture"; ok=1; }
    grep -q '^context: EGL ' "$out/$1.out" || { why "auto did not draw through EGL"; ok=1; }
    grep -Eqx "pelk-capture: no window \($2\); drawing through EGL instead" "$out/$1.err" ||
        { why "auto said: $(head -n 1 "$out/$1.err")"; ok=1; }
    return $ok
}
# refuses NAME WHY: exit code 246 and the one line, with its newline, that says WHY.
refuses() {
    local ok=0
    [ $code -eq 246 ] || { why "glx ended with $code, expected 246"; ok=1; }
    grep -Eqx "Could not initialize GLFW-Context: $2" "$out/$1.err" ||
        { why "glx said: $(cat "$out/$1.err" "$out/$1.out" | tail -c 200)"; ok=1; }
    [ ! -e "$out/$1/frame-01.000.png" ] || { why "glx wrote a picture"; ok=1; }
    return $ok
}

eight_bit_server() {
    own_server 8 || { why "no Xvfb of depth 8"; return 1; }
    local ok=0
    shoot eight-auto auto
    falls_back eight-auto 'GLX: .+' || ok=1
    shoot eight-glx glx
    refuses eight-glx 'GLX: .+' || ok=1
    return $ok
}
stopped_server() {
    own_server 24 || { why "no Xvfb"; return 1; }
    kill -STOP "$server"
    local ok=0
    shoot stopped-auto auto
    falls_back stopped-auto "the X server of DISPLAY $display does not answer within [0-9.]+ s" || ok=1
    shoot stopped-glx glx
    refuses stopped-glx "the X server of DISPLAY $display does not answer within [0-9.]+ s" || ok=1
    kill -CONT "$server"
    return $ok
}
server_dies_while_recording() {
    own_server 24 || { why "no Xvfb"; return 1; }
    local dir=$out/recording
    mkdir -p "$dir"
    DISPLAY=$display "$capture" --context glx --video "$dir/v.mp4" --fps 10 --to 30 \
        >"$out/recording.out" 2>"$out/recording.err" &
    local recording=$!
    local deadline=$((SECONDS + 120))
    until grep -q "frame 2 of 300" "$out/recording.err"; do
        [ $SECONDS -lt $deadline ] && kill -0 $recording 2>/dev/null ||
            { why "no frame recorded"; kill $recording 2>/dev/null; return 1; }
        sleep 0.1
    done
    kill -KILL "$server"
    deadline=$((SECONDS + 30))
    while kill -0 $recording 2>/dev/null; do
        [ $SECONDS -lt $deadline ] || { why "still recording 30 s after its X server died"; kill -KILL $recording; return 1; }
        sleep 0.1
    done
    wait $recording
    local code=$? ok=0
    [ $code -ne 0 ] || { why "ended with 0"; ok=1; }
    [ -z "$(ls -A "$dir")" ] || { why "left: $(ls -A "$dir")"; ok=1; }
    grep -q "^pelk-capture: ended before it was finished; $dir/v.mp4 not written$" \
        "$out/recording.err" || { why "no word that the video was not written: $(tail -n 2 "$out/recording.err" | tr '\r' '\n' | tail -n 2)"; ok=1; }
    return $ok
}

check_case "an 8-bit X server" eight_bit_server
check_case "a stopped X server" stopped_server
check_case "the X server dies during a recording" server_dies_while_recording
end_cases
