# Helpers for the tests that start the demo as a process; sourced, not run. The caller keeps
# the demo's process id in $pid and its window in $win.

# wait_for SECONDS COMMAND...: runs COMMAND every 0.1 s until it succeeds (0) or time is up (1).
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}
demo_running() { kill -0 "$pid" 2>/dev/null; }
demo_ended() { ! demo_running; }
# Ends the demo if it still runs (an exit trap's work).
stop_demo() {
    if [ -n "$pid" ] && demo_running; then
        kill "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    fi
}
# The demo's own window, found by its process id, so that other Pelk windows on a shared
# display (the GL tests', another run's) do not count: sets $win. The caller defines fail.
find_window() {
    demo_running || fail "the demo ended before its window appeared"
    win=$(xdotool search --all --pid "$pid" --name '^Pelk' 2>/dev/null | head -n 1)
    [ -n "$win" ]
}
title() { xdotool getwindowname "$win" 2>/dev/null; }
