#!/bin/sh
# `cmake --install` of a built tree into scratch prefixes, as a user would.
#   routes      into ~/.local (a scratch HOME) and into a /usr/local-like
#               prefix: zsh (compinit with the prefix's site-functions on its
#               fpath, as the README says) and fish (its own ~/.local folder,
#               or XDG_DATA_DIRS naming the prefix) find the completion and
#               offer quillock-cli's commands; the prefix holds the list of
#               the installed files.
#   other_user  as another user (an unused uid; root only) from this build
#               folder, which that user cannot write: the install succeeds,
#               and the build folder is left as it was.
# Usage: install_test.sh CASE BUILD_DIR   (exit 77: skipped)
set -u
case=$1
build=$2
scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillock-install.XXXXXX")
# Searchable by the other user of other_user; what is inside keeps its modes.
chmod 711 "$scratch"
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() {
    echo "install_test: $*" >&2
    failures=$((failures + 1))
}
manifest=share/doc/quillock-cli/install_manifest.txt

# manifest_complete PREFIX: the prefix's list names itself and every file in
# the prefix, and only those.
manifest_complete() {
    [ -f "$1/$manifest" ] || { fail "$1/$manifest is missing"; return; }
    find "$1" ! -type d | sort >"$scratch/found"
    sort "$1/$manifest" >"$scratch/listed"
    diff "$scratch/listed" "$scratch/found" >&2 || fail "$1/$manifest does not list what was installed (< listed, > found)"
}

# zsh_offers PREFIX CANDIDATE WORD...: compinit, with the prefix's
# site-functions first on fpath, maps quillock-cli to the installed
# _quillock-cli; that function, run with the completion builtins printing
# their candidates and the prefix's quillock-cli on PATH, offers CANDIDATE
# for "quillock-cli WORD...".
zsh_offers() {
    prefix=$1
    want=$2
    shift 2
    PATH="$prefix/bin:$PATH" zsh -f -c '
        folder=$1/share/zsh/site-functions
        shift
        fpath=($folder $fpath)
        autoload -U compinit && compinit -u -D
        [[ $_comps[quillock-cli] == _quillock-cli ]] || { print -u2 "compinit: no completion for quillock-cli"; exit 1; }
        autoload +X _quillock-cli
        [[ $(whence -v _quillock-cli) == *"from $folder/_quillock-cli" ]] || { whence -v _quillock-cli >&2; exit 1; }
        compadd() { while [ "$1" != "--" ] && [ $# -gt 0 ]; do shift; done; shift; print -l -- "$@"; }
        _describe() { local name=$4; print -l -- ${(P)name%%:*}; }
        _files() { print -- "<files>"; }
        words=(quillock-cli "$@"); CURRENT=$#words; PREFIX=${words[CURRENT]}
        _quillock-cli
    ' zsh "$prefix" "$@" | grep -qx -- "$want" || fail "zsh with $prefix: 'quillock-cli $*' does not offer $want"
}

# fish_offers CANDIDATE LINE: fish, with its own configuration and the
# environment given by the caller, offers CANDIDATE for LINE.
fish_offers() {
    fish -c "complete -C '$2'" | cut -f 1 | grep -qx -- "$1" || fail "fish: '$2' does not offer $1"
}

case $case in
routes)
    home=$scratch/home
    mkdir -p "$home"
    echo "==> cmake --install $build --prefix ~/.local (HOME=$home)"
    cmake --install "$build" --prefix "$home/.local" >"$scratch/log" 2>&1 || { cat "$scratch/log" >&2; exit 1; }
    [ -f "$home/.local/share/zsh/site-functions/_quillock-cli" ] || fail "no zsh completion in ~/.local/share/zsh/site-functions"
    [ ! -e "$home/.local/share/zsh/vendor-completions" ] || fail "zsh completion in vendor-completions outside /usr"
    manifest_complete "$home/.local"
    if command -v zsh >/dev/null 2>&1; then
        zsh_offers "$home/.local" selfcheck sel
        zsh_offers "$home/.local" --force seal --fo
    else
        echo "install_test: zsh is not installed; its route is not tested" >&2
    fi
    if command -v fish >/dev/null 2>&1; then
        # ~/.local: fish looks in ~/.local/share/fish/vendor_completions.d itself.
        (
            export HOME="$home" PATH="$home/.local/bin:$PATH"
            unset XDG_DATA_DIRS XDG_DATA_HOME XDG_CONFIG_HOME
            fish_offers selfcheck "quillock-cli sel"
            fish_offers --force "quillock-cli seal --fo"
            exit $((failures != 0))
        ) || failures=$((failures + 1))
    else
        echo "install_test: fish is not installed; its route is not tested" >&2
    fi

    # A system-wide prefix other than /usr, the terminal tool alone.
    local_prefix=$scratch/usr/local
    echo "==> cmake --install $build --prefix $local_prefix --component cli"
    cmake --install "$build" --prefix "$local_prefix" --component cli >"$scratch/log" 2>&1 ||
        { cat "$scratch/log" >&2; exit 1; }
    [ ! -e "$local_prefix/bin/quillock" ] || fail "the cli component installed the window"
    if command -v zsh >/dev/null 2>&1; then
        zsh_offers "$local_prefix" recover rec
    fi
    if command -v fish >/dev/null 2>&1; then
        # Found once XDG_DATA_DIRS names the prefix (desktop sessions set it;
        # the README says how otherwise).
        (
            export HOME="$home" PATH="$local_prefix/bin:$PATH" XDG_DATA_DIRS="$local_prefix/share:/usr/share"
            rm -rf "$home/.local"
            fish_offers recover "quillock-cli rec"
            exit $((failures != 0))
        ) || failures=$((failures + 1))
    fi
    ;;
other_user)
    if [ "$(id -u)" -ne 0 ]; then
        echo "install_test: not root, so no other user to install as; skipped" >&2
        exit 77
    fi
    uid=65534
    as_other() { setpriv --reuid=$uid --regid=$uid --clear-groups env HOME="$scratch/home" "$@"; }
    if ! as_other test -r "$build/cmake_install.cmake"; then
        echo "install_test: uid $uid cannot read $build; skipped" >&2
        exit 77
    fi
    ! as_other test -w "$build" || { echo "install_test: uid $uid can write $build; nothing to test" >&2; exit 77; }
    mkdir -p "$scratch/home"
    chown "$uid:$uid" "$scratch/home"
    before=$(ls -l --time-style=full-iso "$build/install_manifest.txt" 2>/dev/null || echo none)
    echo "==> cmake --install $build --prefix ~/.local as uid $uid"
    as_other cmake --install "$build" --prefix "$scratch/home/.local" >"$scratch/log" 2>&1 ||
        { cat "$scratch/log" >&2; fail "the install as uid $uid failed"; }
    manifest_complete "$scratch/home/.local"
    after=$(ls -l --time-style=full-iso "$build/install_manifest.txt" 2>/dev/null || echo none)
    [ "$before" = "$after" ] || fail "the install changed $build/install_manifest.txt"
    ;;
*)
    echo "install_test: unknown case $case" >&2
    exit 2
    ;;
esac
exit $((failures != 0))
