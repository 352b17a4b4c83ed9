#!/usr/bin/env bash
# The scripts work in every locale: under German's decimal comma (de_DE.UTF-8, built here with
# localedef from the locales package) scripts/make-docs without a display, as scripts/run uses
# it, makes its sheet, its frames and its moving picture; the tools' own numbers do not move
# with the locale either, under German's or Turkish's. Skipped with the reason where a locale
# cannot be built. Run from the repository root.
set -u

build=${PELK_BUILD_DIR:?PELK_BUILD_DIR must name the build folder}
out=${PELK_TEST_OUT:-$build/tests/out}/e2e_locale
capture=$(cd "$build" && pwd)/pelk-capture
rm -rf "$out" && mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
PELK_TEST=e2e_locale
source tests/support/cases.sh
export LIBGL_ALWAYS_SOFTWARE=1

locales=$work/locales

# make_docs_under LOCALE
make_docs_under() {
    env -u DISPLAY -u LC_ALL LOCPATH="$locales" LANG=$1 PELK_BUILD_DIR="$build" timeout 400 \
        scripts/make-docs --out "$out/docs" --full >"$out/make-docs.out" 2>"$out/make-docs.err"
    local code=$? ok=0 f
    [ $code -eq 0 ] || { why "exit code $code: $(tail -n 3 "$out/make-docs.out" "$out/make-docs.err")"; ok=1; }
    for f in contact-sheet.png frame-30s.png frame-38s.png flight.webp; do
        [ -s "$out/docs/$f" ] || { why "no $f"; ok=1; }
    done
    return $ok
}
# capture_under LOCALE: the capture tool's numbers are its own, the same names and notes.
capture_under() {
    local dir=$out/capture-$1
    env -u LC_ALL LOCPATH="$locales" LANG=$1 "$capture" --at ' 1.5' --light '0.5,10,0' \
        --out "$dir" >"$dir.out" 2>"$dir.err"
    local code=$?
    [ $code -eq 0 ] || { why "exit code $code: $(tail -n 1 "$dir.err")"; return 1; }
    grep -qx 'time 1.500' "$dir/frame-01.500.txt" && grep -qx 'light 0.5 10 0' "$dir/frame-01.500.txt" ||
        { why "the notes: $(head -n 4 "$dir/frame-01.500.txt" 2>&1 | tr '\n' ' ')"; return 1; }
}

for locale in de_DE.UTF-8 tr_TR.UTF-8; do
    if reason=$(decimal_comma_locale "$locale" "$locales"); then
        check_case "pelk-capture under $locale" capture_under "$locale"
        if [ $locale = de_DE.UTF-8 ]; then
            check_case "scripts/make-docs without a display under $locale" make_docs_under "$locale"
        fi
    else
        skip_case "the scripts under $locale" "$reason"
    fi
done
end_cases
