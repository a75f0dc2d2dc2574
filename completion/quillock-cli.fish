# fish completion for quillock-cli. The commands, each command's options and
# the words of the choice options are read from the program's --help, so they
# never fall behind it.

# The words typed before the cursor, the program's name first.
function __quillock_cli_at_command
    test (count (commandline -opc)) -eq 1
end

function __quillock_cli_commands
    command quillock-cli --help 2>/dev/null | string replace -rf '^  ([a-z]+) +(.*)$' '$1\t$2'
end

function __quillock_cli_options
    set -l words (commandline -opc)
    command quillock-cli $words[2] --help 2>/dev/null | string match -ar -- '--[a-z][a-z-]*' | sort -u
end

# The words a choice option takes, as the usage lines spell them: --cipher
# rijndael|blowfish.
function __quillock_cli_choices -a option
    command quillock-cli edit --help 2>/dev/null | string match -rg -- "--$option ([a-z0-9|]+)" | head -n 1 |
        string split '|'
end

complete -c quillock-cli -f -n __quillock_cli_at_command -a '(__quillock_cli_commands)'
complete -c quillock-cli -f -n __quillock_cli_at_command -l help -l version
complete -c quillock-cli -f -n 'not __quillock_cli_at_command; and __fish_seen_subcommand_from help' \
    -a '(__quillock_cli_commands)'
complete -c quillock-cli -n 'not __quillock_cli_at_command; and string match -q -- "-*" (commandline -ct)' \
    -a '(__quillock_cli_options)'
# The options that take a value, for the commands whose --help names them.
function __quillock_cli_takes -a option
    __quillock_cli_options | string match -q -- "--$option"
end
for option in cipher new-cipher hash new-hash
    set -l choice (string replace new- '' $option)
    complete -c quillock-cli -n "__quillock_cli_takes $option" -l $option -x -a "(__quillock_cli_choices $choice)"
end
complete -c quillock-cli -n '__quillock_cli_takes edition' -l edition -x -a '0 1 2'
for option in editor password-command
    complete -c quillock-cli -n "__quillock_cli_takes $option" -l $option -x -a '(__fish_complete_command)'
end
complete -c quillock-cli -n '__quillock_cli_takes password-fd' -l password-fd -x
for option in password-file new-password-file
    complete -c quillock-cli -n "__quillock_cli_takes $option" -l $option -r -F
end
