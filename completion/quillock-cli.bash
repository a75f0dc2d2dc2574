# bash completion for quillock-cli. The options of each command are taken
# from its --help, so they never fall behind the program.
_quillock_cli() {
    local cur prev words cword split=false
    if declare -F _init_completion >/dev/null 2>&1; then
        # -s: "--opt=value" comes as prev=--opt, cur=value.
        _init_completion -s || return
    else
        COMPREPLY=()
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD-1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        # With '=' among the word breaks "--opt=value" is three words:
        # "--opt" "=" "value" (and "--opt" "=" before the value is typed).
        if [ "$cur" = = ] && [[ $prev == --* ]]; then
            cur=
        elif [ "$prev" = = ] && [ "$cword" -ge 2 ] && [[ ${words[cword-2]} == --* ]]; then
            prev=${words[cword-2]}
        fi
    fi
    # Without '=' among the word breaks it is one word: the value is
    # completed after it and each candidate keeps the "--opt=" before it.
    local before=
    if [[ $cur == --*=* ]]; then
        prev=${cur%%=*}
        cur=${cur#*=}
        before=$prev=
    fi
    # The commands as the program lists them; the list of this version if it
    # cannot be run.
    local commands
    commands=$("${words[0]}" --help 2>/dev/null | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p')
    [ -n "$commands" ] || commands="check edit help recover seal selfcheck unseal"
    if [ "$cword" -eq 1 ]; then
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
    fi
    local command=${words[1]}
    case $prev in
    --cipher | --new-cipher | --hash | --new-hash)
        # The words as the usage lines spell them: --cipher rijndael|blowfish.
        local option=${prev#--}
        option=${option#new-}
        local choices
        choices=$("${words[0]}" edit --help 2>/dev/null | sed -n "s/.*--$option \([a-z0-9|]*\).*/\1/p" | head -n 1)
        COMPREPLY=($(compgen -P "$before" -W "${choices//|/ }" -- "$cur"))
        return
        ;;
    --edition)
        COMPREPLY=($(compgen -P "$before" -W "0 1 2" -- "$cur"))
        return
        ;;
    --password-fd)
        return
        ;;
    --editor | --password-command)
        COMPREPLY=($(compgen -P "$before" -c -- "$cur"))
        return
        ;;
    --password-file | --new-password-file)
        COMPREPLY=($(compgen -P "$before" -f -- "$cur"))
        compopt -o filenames 2>/dev/null
        return
        ;;
    esac
    if [ -n "$before" ]; then
        return # the value of an option without choices to offer
    fi
    if [ "$command" = help ]; then
        [ "$cword" -eq 2 ] && COMPREPLY=($(compgen -W "$commands" -- "$cur"))
        return
    fi
    if [[ $cur == -* ]]; then
        local options
        options=$("${words[0]}" "$command" --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u)
        COMPREPLY=($(compgen -W "$options --help" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}
complete -F _quillock_cli quillock-cli
