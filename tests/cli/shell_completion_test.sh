#!/bin/sh
# The zsh and fish completions of quillock-cli: commands, each command's
# options (from its --help) and the words of the choice options. Each shell
# is skipped when it is not installed.
# Usage: shell_completion_test.sh CLI COMPLETION_FOLDER
set -u
cli=$1
folder=$2
PATH=$(dirname "$cli"):$PATH
export PATH
failures=0
tested=0
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
: >"$tmp/pw.txt"
fail() {
    echo "shell_completion_test: $*" >&2
    failures=$((failures + 1))
}

# zsh: the completion function run with the completion system's builtins
# replaced by ones that print what they are given, one candidate a line.
zsh_complete() { # zsh_complete WORD... (the last one is being completed)
    zsh -f -c '
        compadd() { while [ "$1" != "--" ] && [ $# -gt 0 ]; do shift; done; shift; print -l -- "$@"; }
        _describe() { local name=$4; print -l -- ${(P)name%%:*}; }
        _files() { print -- "<files>"; }
        _command_names() { print -- "<commands>"; }
        compset() { [ "$1" = -P ] && PREFIX=${PREFIX#*=}; }
        words=("$@"); CURRENT=$#; PREFIX=${words[CURRENT]}
        source "$0"
    ' "$folder/_quillock-cli" quillock-cli "$@"
}
# fish: its own completion engine, on the command line given.
fish_complete() { # fish_complete LINE
    fish --no-config -c "source '$folder/quillock-cli.fish'; complete -C '$1'" | cut -f 1
}
candidates() { # candidates SHELL WORD...
    shell=$1
    shift
    if [ "$shell" = zsh ]; then
        zsh_complete "$@"
    else
        fish_complete "quillock-cli $*"
    fi
}
offers() { # offers SHELL CANDIDATE WORD...: whether the candidates include CANDIDATE
    shell=$1
    candidate=$2
    shift 2
    candidates "$shell" "$@" | grep -qx -- "$candidate"
}
expect() { # expect SHELL WANT WORD...
    offers "$@" || fail "$1: 'quillock-cli $(shift 2; echo "$*")' does not offer $2"
}
refuse() { # refuse SHELL UNWANTED WORD...
    ! offers "$@" || fail "$1: 'quillock-cli $(shift 2; echo "$*")' offers $2"
}
for shell in zsh fish; do
    if ! command -v "$shell" >/dev/null 2>&1; then
        echo "shell_completion_test: $shell is not installed; its completion is not tested" >&2
        continue
    fi
    tested=$((tested + 1))
    expect "$shell" recover rec
    expect "$shell" selfcheck sel
    expect "$shell" --no-double-backup recover --no
    expect "$shell" --editor-returns-at-once edit --editor-r
    expect "$shell" --force seal --fo
    refuse "$shell" --salvage seal --s
    refuse "$shell" --editor recover --ed
    expect "$shell" blowfish seal --cipher ""
    expect "$shell" sha1 edit --new-hash ""
    expect "$shell" 2 edit --edition ""
    expect "$shell" unseal help un
    # "--opt=value": zsh offers the value after the "--opt=" it keeps, fish the whole word.
    if [ "$shell" = zsh ]; then
        expect zsh blowfish seal --cipher=
        expect zsh sha1 edit --new-hash=s
        expect zsh "<files>" unseal --password-file=
    else
        expect fish --cipher=blowfish seal --cipher=
        expect fish --new-hash=sha1 edit --new-hash=s
        expect fish "--password-file=$tmp/pw.txt" unseal "--password-file=$tmp/p"
    fi
done
[ "$tested" -gt 0 ] || echo "shell_completion_test: neither zsh nor fish is installed: nothing tested" >&2
exit $((failures != 0))
