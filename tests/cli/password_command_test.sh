#!/bin/sh
# quillock-cli --password-command: the first line is the password and the
# run does not wait for what the command leaves running (a child holding its
# output) or for a command that never stops writing. The test's timeout is
# the check that it ended. Usage: password_command_test.sh CLI
set -u
cli=$1
tmp=$(mktemp -d)
cleanup() {
    [ -s "$tmp/pid" ] && kill "$(cat "$tmp/pid")" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT
failures=0
fail() {
    echo "password_command_test: $*" >&2
    failures=$((failures + 1))
}
printf 'Arbolix data file\nfirst entry\n' >"$tmp/plain"
"$cli" seal -q --password-command 'echo pw' "$tmp/plain" "$tmp/sealed.qlx" 2>"$tmp/err" || fail "seal failed: $(cat "$tmp/err")"
# The child keeps the pipe open (its error closed, so the test runner does
# not wait for it either); it is written down before the line, to end it here.
"$cli" check --password-command "exec 2>&-; sleep 1000 & echo \$! >'$tmp/pid'; echo pw" "$tmp/sealed.qlx" \
    >"$tmp/out" 2>&1 || fail "check with a child left running: $(cat "$tmp/out")"
grep -q '^opens: ' "$tmp/out" || fail "no opens line: $(cat "$tmp/out")"
"$cli" unseal -q --password-command 'yes pw' "$tmp/sealed.qlx" - >"$tmp/out" 2>"$tmp/err" ||
    fail "unseal with yes pw: $(cat "$tmp/err")"
cmp -s "$tmp/plain" "$tmp/out" || fail "yes pw did not give the password"
# A wrong first line is a wrong password, at once.
"$cli" check --password-command 'echo wrong; echo pw' "$tmp/sealed.qlx" >/dev/null 2>&1 &&
    fail "the second line was taken"
exit $((failures != 0))
