#!/usr/bin/env bash
# Signals: a recording started under nohup (SIGHUP ignored) outlives a SIGHUP and writes its
# video; SIGINT or SIGTERM at the moment a picture is being written (its hidden temporary is
# there) leaves no temporary and no picture behind, says which file was not written, and ends
# the tool by that signal, in every one of twelve tries. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_signals
capture=$(cd "$build" && pwd)/pelk-capture
rm -rf "$out" && mkdir -p "$out"
pid=
PELK_TEST=e2e_signals
source tests/support/cases.sh
source tests/support/demo_process.sh
trap stop_demo EXIT
export LIBGL_ALWAYS_SOFTWARE=1

# A recording with SIGHUP ignored from the start, as nohup starts it, sent SIGHUP once frames go
# to the encoder: it goes on to the end.
hangup_ignored() {
    rm -f "$out/nohup.mp4"
    (trap '' HUP && exec "$capture" --video "$out/nohup.mp4" --fps 10 --from 10 --to 11) \
        >"$out/nohup.out" 2>"$out/nohup.err" &
    pid=$!
    wait_for 120 grep -q "frame 2 of 10" "$out/nohup.err" ||
        { why "no frame recorded: $(tail -c 200 "$out/nohup.err")"; return 1; }
    kill -HUP "$pid"
    wait "$pid"
    local code=$?
    pid=
    [ $code -eq 0 ] || { why "SIGHUP ended the recording with $code"; return 1; }
    grep -q "^wrote $out/nohup.mp4: 10 frames" "$out/nohup.out" && [ -s "$out/nohup.mp4" ] ||
        { why "no video: $(tail -n 1 "$out/nohup.out")"; return 1; }
}

# stopped_while_writing SIGNAL TRY: pictures at six moments; the signal comes as soon as the
# hidden temporary of a picture appears.
stopped_while_writing() {
    local signal=$1 dir=$out/pictures-$2
    rm -rf "$dir" && mkdir -p "$dir"
    "$capture" --at 1 --at 2 --at 3 --at 4 --at 5 --at 6 --out "$dir" \
        >"$out/stopped.out" 2>"$out/stopped.err" &
    pid=$!
    local deadline=$((SECONDS + 120))
    until compgen -G "$dir/.frame-*" >/dev/null; do
        demo_running && [ $SECONDS -lt $deadline ] ||
            { why "no temporary seen before the end: $(tail -n 1 "$out/stopped.err")"; pid=; return 1; }
    done
    kill -"$signal" "$pid"
    wait "$pid"
    local code=$? ok=0
    pid=
    local expected=$((128 + $(kill -l "$signal")))
    [ $code -eq $expected ] || { why "ended with $code, expected $expected"; ok=1; }
    [ -z "$(hidden_left "$dir")" ] || { why "temporaries left: $(hidden_left "$dir")"; ok=1; }
    grep -Eq "^pelk-capture: interrupted; $dir/frame-0[1-6]\.000\.(png|txt) not written$" \
        "$out/stopped.err" || { why "no word of the interruption: $(tail -n 1 "$out/stopped.err")"; ok=1; }
    return $ok
}
signals_while_writing() {
    local try signal failures=0
    for try in $(seq 1 12); do
        signal=INT
        [ $((try % 2)) -eq 0 ] && signal=TERM
        stopped_while_writing $signal "$try" || { why "(try $try, SIG$signal)"; failures=$((failures + 1)); }
    done
    [ $failures -eq 0 ] || { why "$failures of 12 tries failed"; return 1; }
}

check_case "SIGHUP to a recording started with SIGHUP ignored (nohup)" hangup_ignored
check_case "SIGINT and SIGTERM while a picture is written, 12 tries" signals_while_writing
end_cases
