#!/usr/bin/env bash
# The tools' options, as a user types them: --help prints the usage on standard output with
# exit status 0; counts must be whole numbers; values are trimmed alike on both sides; a video's
# suffix is matched without regard to case; and every refusal or error is one line on standard
# error, none on standard output. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_options
bin=$(cd "$build" && pwd)
rm -rf "$out" && mkdir -p "$out"
PELK_TEST=e2e_options
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1

# run COMMAND...: its output in $out/run.out and .err, its exit status in $code.
run() {
    timeout 120 "$@" >"$out/run.out" 2>"$out/run.err"
    code=$?
}
# refused LINE COMMAND...: exit status 2, nothing on standard output, and exactly the one line
# LINE (a pattern) on standard error.
refused() {
    local line=$1
    shift
    run "$@"
    local ok=0
    [ $code -eq 2 ] || { why "'${*#"$bin/"}' ended with $code, expected 2"; ok=1; }
    [ ! -s "$out/run.out" ] || { why "'${*#"$bin/"}' wrote on standard output: $(head -c 200 "$out/run.out")"; ok=1; }
    only_lines "$out/run.err" 1 && grep -Eqx -- "$line" "$out/run.err" ||
        { why "'${*#"$bin/"}' said: $(head -c 300 "$out/run.err")"; ok=1; }
    return $ok
}

help_everywhere() {
    local tool ok=0
    for tool in pelk-capture pelk-bench pelk-imgdiff pelk-contact-sheet pelk-mutate3ds; do
        [ -x "$bin/$tool" ] || { [ $tool = pelk-mutate3ds ] && continue; why "no $tool"; ok=1; continue; }
        run "$bin/$tool" --help
        [ $code -eq 0 ] || { why "$tool --help ended with $code"; ok=1; }
        grep -q "^Usage: $tool" "$out/run.out" || { why "$tool --help printed no usage on standard output"; ok=1; }
        [ ! -s "$out/run.err" ] || { why "$tool --help wrote on standard error: $(head -n 1 "$out/run.err")"; ok=1; }
    done
    return $ok
}
whole_counts() {
    local ok=0
    refused "pelk-capture: --frames wants a whole number of frames from 1 to 100000, got '1.9'" \
        "$bin/pelk-capture" --frames 1.9 || ok=1
    refused "pelk-bench: --frames wants a whole number of frames from 1 to 10000, got '1.9'" \
        "$bin/pelk-bench" --frames 1.9 || ok=1
    refused "pelk-bench: --warmup wants a whole number of frames from 0 to 10000, got '2.5'" \
        "$bin/pelk-bench" --warmup 2.5 || ok=1
    refused "pelk-capture: --fps wants a whole number of frames a second from 1 to 240, got '2.5'" \
        "$bin/pelk-capture" --video "$out/v.mp4" --fps 2.5 || ok=1
    refused "pelk-contact-sheet: --width wants a whole number from 16 to 8192, got '100.5'" \
        "$bin/pelk-contact-sheet" --out "$out/s.png" --width 100.5 a.png || ok=1
    return $ok
}
# ' 3' and '3 ' are the same moment: both name the picture frame-03.000.png.
trimmed_alike() {
    refused "pelk-capture: --at 3 and --at 3 would both be frame-03.000.png \(names keep milliseconds\)" \
        "$bin/pelk-capture" --at ' 3' --at '3 ' --out "$out/pictures"
}
suffix_in_capitals() {
    run "$bin/pelk-capture" --video "$out/v.MP4" --fps 10 --from 10 --to 10.1
    [ $code -eq 0 ] || { why "ended with $code: $(tail -n 1 "$out/run.err")"; return 1; }
    grep -q "^wrote $out/v.MP4: 1 frame, 0.100 s of video" "$out/run.out" && [ -s "$out/v.MP4" ] ||
        { why "no video: $(tail -n 1 "$out/run.out")"; return 1; }
}
errors_on_standard_error() {
    local ok=0 picture=tests/reference/timeline-01.000.png
    refused "pelk-capture: The following argument was not expected: --bogus" "$bin/pelk-capture" --bogus || ok=1
    refused "pelk-bench: --json: 1 required FILE missing" "$bin/pelk-bench" --json || ok=1
    refused "pelk-imgdiff: cannot read $out/missing.png" "$bin/pelk-imgdiff" "$picture" "$out/missing.png" || ok=1
    refused "pelk-imgdiff: wants two pictures, got 1" "$bin/pelk-imgdiff" "$picture" || ok=1
    refused "pelk-contact-sheet: --out is required" "$bin/pelk-contact-sheet" "$picture" || ok=1
    # Not an option's fault: exit status 1, but on standard error all the same.
    run "$bin/pelk-contact-sheet" --out "$out/sheet.png" "$out/missing.png"
    [ $code -eq 1 ] && [ ! -s "$out/run.out" ] &&
        [ "$(cat "$out/run.err")" = "pelk-contact-sheet: cannot read $out/missing.png" ] ||
        { why "contact sheet of a missing picture: $code, out '$(cat "$out/run.out")', err '$(cat "$out/run.err")'"; ok=1; }
    return $ok
}

check_case "--help of every tool" help_everywhere
check_case "counts are whole numbers" whole_counts
check_case "values trimmed alike on both sides" trimmed_alike
check_case "a video's suffix in capitals" suffix_in_capitals
check_case "errors on standard error" errors_on_standard_error
end_cases
