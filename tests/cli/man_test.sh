#!/bin/sh
# The manual pages: troff without a warning, and every option that a
# command's --help names documented in quillock-cli(1).
# Usage: man_test.sh CLI MAN_DIR
set -u
cli=$1
mandir=$2
failures=0
fail() {
    echo "man_test: $*" >&2
    failures=$((failures + 1))
}
for page in "$mandir"/quillock.1 "$mandir"/quillock-cli.1; do
    warnings=$(groff -man -ww -z "$page" 2>&1) || fail "groff failed on $page"
    [ -z "$warnings" ] || fail "groff warns on $page: $warnings"
done
# The page's text with troff's escaped hyphens as plain ones.
text=$(sed 's/\\-/-/g' "$mandir/quillock-cli.1")
commands=$("$cli" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
[ -n "$commands" ] || fail "no commands in quillock-cli --help"
for command in $commands; do
    printf '%s\n' "$text" | grep -q "^\.BI* \"*$command\b" ||
        printf '%s\n' "$text" | grep -q "^\.B $command\$" || fail "command $command is not in quillock-cli(1)"
    for option in $("$cli" "$command" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
        printf '%s\n' "$text" | grep -q -- "$option\b" || fail "$command: $option is not in quillock-cli(1)"
    done
done
for option in --version --help; do
    printf '%s\n' "$text" | grep -q -- "$option" || fail "$option is not in quillock-cli(1)"
done
exit $((failures != 0))
