#!/bin/sh
# The help that is not shown on a terminal (a pipe here) is wrapped to 80
# columns, with exit code 0: the list of commands and each command's --help,
# also after a usage error. Usage: help_test.sh CLI
set -eu
cli=$1
failures=0
fits() { # fits WHAT: standard input has no line wider than 80 columns
    wide=$(awk 'length > 80' | head -n 1)
    [ -z "$wide" ] || { echo "help_test: $1 is wider than 80 columns: $wide" >&2; failures=$((failures + 1)); }
}
"$cli" --help | fits "--help"
for command in $("$cli" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
    "$cli" "$command" --help >/dev/null || { echo "help_test: $command --help failed" >&2; exit 1; }
    "$cli" "$command" --help | fits "$command --help"
    "$cli" "$command" --no-such-option 2>&1 >/dev/null | fits "the usage error of $command"
done
exit $((failures != 0))
