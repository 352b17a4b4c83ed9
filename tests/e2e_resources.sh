#!/usr/bin/env bash
# No blank frames counted as work: started where ./res lacks the scene's meshes (an empty res/,
# one without its models folder, a models folder or a res/ that is a link loop), pelk-capture
# and pelk-bench refuse as they do without ./res: one line on standard error that names what is
# missing, exit code 3, nothing written. (The demo names it and runs on: e2e_hostile.sh.) Run
# from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_resources
capture=$(cd "$build" && pwd)/pelk-capture
bench=$(cd "$build" && pwd)/pelk-bench
root=$(pwd)
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PELK_TEST=e2e_resources
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1

# A working folder NAME with the stage files and a res/ made by the commands that follow.
folder() {
    mkdir -p "$work/$1"
    ln -sfn "$root/src" "$work/$1/src"
}
folder empty && mkdir -p "$work/empty/res"
folder no-models && mkdir -p "$work/no-models/res" && ln -s "$root/res/textures" "$work/no-models/res/textures"
folder models-loop && mkdir -p "$work/models-loop/res" && ln -s models "$work/models-loop/res/models"
folder res-loop && ln -s res "$work/res-loop/res"

# refused FOLDER REASON TOOL ARGS...: in FOLDER, the tool ends with 3 at once, its one line on
# standard error names the missing meshes and REASON, and no picture, note or JSON is written.
refused() {
    local folder=$1 reason=$2 name
    shift 2
    name=$folder-$(basename "$1")
    rm -rf "$out/pictures" "$out/bench.json"
    (cd "$work/$folder" && timeout 120 "$@") >"$out/$name.out" 2>"$out/$name.err"
    local code=$? ok=0
    [ $code -eq 3 ] || { why "$(basename "$1") ended with $code, expected 3"; ok=1; }
    only_lines "$out/$name.err" 1 || { why "not one line on standard error: $(head -c 300 "$out/$name.err")"; ok=1; }
    grep -Eq "^$(basename "$1"): .*$reason" "$out/$name.err" ||
        { why "not /$reason/: $(head -n 1 "$out/$name.err")"; ok=1; }
    [ ! -e "$out/pictures" ] && [ ! -e "$out/bench.json" ] || { why "something was written"; ok=1; }
    return $ok
}
both_refuse() {
    local ok=0
    refused "$1" "$2" "$capture" --at 1 --out "$out/pictures" || ok=1
    refused "$1" "$2" "$bench" --at 1 --frames 1 --warmup 0 --json "$out/bench.json" || ok=1
    return $ok
}

meshes="lacks the scene's meshes: 8 of 8 cannot be read \(\./res/models/sphere\.3ds"
check_case "an empty ./res" both_refuse empty "$meshes: No such file or directory\)$"
check_case "./res without its models" both_refuse no-models "$meshes: No such file or directory\)$"
check_case "./res/models a link loop" both_refuse models-loop "$meshes: Too many levels of symbolic links\)$"
check_case "./res a link loop" both_refuse res-loop "\./res is missing in $work/res-loop"
end_cases
