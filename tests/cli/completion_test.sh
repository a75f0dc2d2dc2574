#!/bin/bash
# The bash completion of quillock-cli: commands, each command's options (from
# its --help), and the values of the choice options.
# Usage: completion_test.sh CLI COMPLETION_SCRIPT
set -u
cli=$1
# shellcheck source=/dev/null
source "$2" || exit 1
failures=0
# complete WORD...: the candidates for the last word of "quillock-cli WORD...".
complete_words() {
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _quillock_cli
    printf '%s\n' "${COMPREPLY[@]}"
}
expect() {
    local want=$1
    shift
    complete_words "$@" | grep -qx -- "$want" || {
        echo "completion_test: '$*' does not offer $want (got: $(complete_words "$@" | tr '\n' ' '))" >&2
        failures=$((failures + 1))
    }
}
expect check ""
expect unseal un
expect --version --
expect --force seal --
expect --password-command unseal --pass
expect --editor-returns-at-once edit --editor-r
expect blowfish seal --cipher ""
expect sha1 edit --new-hash ""
expect 2 edit --edition ""
expect seal help s
expect recover rec
expect --no-double-backup recover --no
# "--opt=value": as bash splits it with '=' among the word breaks ("--opt"
# "=" "value"), and as one word without.
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
: >"$tmp/pw.txt"
expect blowfish seal --cipher =
expect blowfish seal --cipher = bl
expect --cipher=blowfish seal --cipher=bl
expect sha1 edit --new-hash = s
expect "$tmp/pw.txt" unseal --password-file = "$tmp/p"
expect "--password-file=$tmp/pw.txt" unseal "--password-file=$tmp/p"
expect "$tmp/pw.txt" check --password-file "$tmp/p"
expect 2 edit --edition = ""
if complete_words recover --e | grep -qx -- --editor; then
    echo "completion_test: recover offers edit's --editor" >&2
    failures=$((failures + 1))
fi
if complete_words seal --s | grep -qx -- --salvage; then
    echo "completion_test: seal offers unseal's --salvage" >&2
    failures=$((failures + 1))
fi
exit $((failures != 0))
