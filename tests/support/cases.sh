# Sourced by the end-to-end tests that check many cases: each case runs on its own, says "ok"
# or "FAIL" with its reason in one line, and the test goes on; it ends with exit 1 when any
# case failed, so that one run lists every case's result.
#   PELK_TEST=name; source tests/support/cases.sh
#   check_case "what the case is" function [args...]   (the function says why it failed with
#                                                        `why`, and returns non-zero)
#   skip_case "what the case is" "why it cannot run here"
#   end_cases

# The tests' own numbers in C's format (a decimal point under any locale); a case that wants
# another locale sets it for its command alone.
export LC_ALL=C

PELK_CASES_FAILED=0
PELK_CASES_RUN=0

say() { printf '%s: %s\n' "$PELK_TEST" "$*"; }
# why TEXT: the reason a case gives for failing.
why() { printf '%s\n' "$*" >>"$PELK_CASE_REASON"; }

check_case() {
    local name=$1
    shift
    PELK_CASE_REASON=$(mktemp)
    PELK_CASES_RUN=$((PELK_CASES_RUN + 1))
    if "$@"; then
        say "ok: $name"
    else
        PELK_CASES_FAILED=$((PELK_CASES_FAILED + 1))
        say "FAIL: $name: $(tr '\n' ' ' <"$PELK_CASE_REASON")"
    fi
    rm -f "$PELK_CASE_REASON"
}

skip_case() { say "SKIPPED: $1: $2"; }

end_cases() {
    if [ "$PELK_CASES_FAILED" -ne 0 ]; then
        say "$PELK_CASES_FAILED of $PELK_CASES_RUN cases failed"
        exit 1
    fi
    say "PASS ($PELK_CASES_RUN cases)"
    exit 0
}

# only_lines FILE N: FILE holds exactly N lines.
only_lines() { [ "$(wc -l <"$1")" -eq "$2" ]; }
# hidden_left DIR: the names of hidden files left in DIR (the tools' temporaries), if any.
hidden_left() { find "$1" -maxdepth 1 -name '.*' ! -name . ! -name .. -printf '%f ' 2>/dev/null; }

# decimal_comma_locale NAME DIR: builds the locale NAME ("de_DE.UTF-8") into DIR with
# localedef, for LOCPATH=DIR, and checks that bash's printf writes a decimal comma under it.
# Fails, saying why on standard output, where the locale sources are missing.
decimal_comma_locale() {
    local name=$1 dir=$2
    mkdir -p "$dir"
    localedef -i "${name%%.*}" -f "${name#*.}" "$dir/$name" >"$dir/$name.log" 2>&1 ||
        { printf 'localedef cannot build %s: %s\n' "$name" "$(tail -n 1 "$dir/$name.log")"; return 1; }
    [ "$(LOCPATH=$dir LC_ALL=$name bash -c "printf '%.1f' 1")" = "1,0" ] ||
        { printf '%s does not write a decimal comma\n' "$name"; return 1; }
}
