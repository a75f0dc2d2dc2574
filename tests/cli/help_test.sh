#!/bin/sh
# Every option named in a command's usage line is explained in its --help,
# and --help ends with exit code 0. Usage: help_test.sh CLI COMMAND...
set -eu
cli=$1
shift
for command in "$@"; do
    help=$("$cli" "$command" --help)
    usage=$(printf '%s\n' "$help" | head -n 1)
    body=$(printf '%s\n' "$help" | tail -n +2)
    for option in $(printf '%s\n' "$usage" | grep -o -- '--[a-z-]*' | sort -u); do
        printf '%s\n' "$body" | grep -q -- "$option" ||
            { echo "help_test: $command --help does not explain $option" >&2; exit 1; }
    done
done
