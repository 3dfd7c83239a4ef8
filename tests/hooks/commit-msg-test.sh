#!/usr/bin/env bash
# The commit-msg hook on sample messages: each row is the expected outcome (pass/fail) and a message.
set -uo pipefail

hook=${1:?usage: commit-msg-test.sh SOURCE-DIR}/scripts/hooks/commit-msg
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
long="link: $(printf 'x%.0s' {1..66})" # 72 characters

failures=0
check() {
    local expected=$1 message=$2 got=pass
    printf '%b' "$message" >"$tmp/msg"
    bash "$hook" "$tmp/msg" 2>"$tmp/err" || got=fail
    if [ "$got" != "$expected" ]; then
        echo "expected $expected, got $got: $(printf '%q' "$message")" >&2
        cat "$tmp/err" >&2
        failures=$((failures + 1))
    fi
}

check pass 'link: keep the port open across a reopen\n\nThe reason, wrapped.\n'
check pass 'cli: print the read as JSON\n'
check pass '# a comment git drops\njournal: lock the file while it is read\n'
check pass "$long\n"
check fail "${long}y\n"                                   # 73 characters
check fail 'Link: keep the port open\n'                   # the area as written in the list
check fail 'frobnicate: keep the port open\n'             # no such area
check fail 'link,config: move the settings path\n'        # one area
check fail 'keep the port open\n'                         # no area
check fail 'link:keep the port open\n'                    # the space after the colon
check fail 'link: keep the port open; tidy the tests\n'   # two changes in one
check fail 'link: keep the port open\nthe body at once\n' # no blank line
check pass '\n\nlink: keep the port open\n'               # leading blank lines, as git drops them
check fail '# only a comment\n'
exit $((failures > 0))
