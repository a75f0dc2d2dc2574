#!/bin/sh
# quillock-cli config lists, sets and resets the saved choices; the options of
# edit are for one run and never reach the settings file.
# Usage: cli_config_test.sh CLI
set -u
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CONFIG_HOME="$work/config"
settings="$XDG_CONFIG_HOME/quillock/settings.ini"
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
expect_line() {
    "$cli" config >"$work/list" 2>&1 || fail "config list: $(cat "$work/list")"
    grep -qxF "$1" "$work/list" || fail "no line '$1' in: $(cat "$work/list")"
}

# Nothing stored: every choice is its default, and nothing is written.
expect_line "Algorithm=rijndael  (default)"
expect_line "PrivateTemp=0  (default)"
[ "$(grep -c '(default)' "$work/list")" -eq 8 ] || fail "not eight defaults: $(cat "$work/list")"

# set: validated as the window's lists are, stored with the others.
"$cli" config set algorithm blowfish || fail "set Algorithm"
expect_line "Algorithm=blowfish  (settings file)"
"$cli" config set Algorithm des 2>"$work/err"
[ $? -eq 2 ] && grep -q "rijndael or blowfish" "$work/err" || fail "a bad cipher: $(cat "$work/err")"
"$cli" config set ExeNamePos 3 2>/dev/null && fail "edition 3 taken"
"$cli" config set PrivateTemp 1 || fail "set PrivateTemp"
expect_line "PrivateTemp=1  (settings file)"
"$cli" config set ExeName1 "vi -n" && "$cli" config set ExeNamePos 1 || fail "set an edition"
expect_line "ExeName=vi -n  (settings file)"
"$cli" config set nosuch 1 2>/dev/null && fail "an unknown setting taken"

# One-off options: a run that fails (a misspelt file) and one that works
# leave the settings file as it was.
cp "$settings" "$work/before"
"$cli" edit --hash sha1 --cipher rijndael --editor "rm -rf" --edition 2 --password-fd 0 "$work/nofile.qlx" \
    </dev/null 2>/dev/null && fail "edit of a missing file"
printf 'Arbolix\n' >"$work/d.qlt"
printf 'pw\n' >"$work/pw"
chmod 600 "$work/pw"
"$cli" edit --yes --editor true --hash sha1 --password-file "$work/pw" "$work/d.qlt" >/dev/null 2>&1 ||
    fail "edit with one-off options"
cmp -s "$settings" "$work/before" || fail "edit changed the settings: $(diff "$work/before" "$settings")"

# reset: one choice, then all.
"$cli" config reset Algorithm || fail "reset Algorithm"
expect_line "Algorithm=rijndael  (settings file)"
expect_line "PrivateTemp=1  (settings file)"
"$cli" config reset || fail "reset"
expect_line "PrivateTemp=0  (settings file)"
expect_line "ExeName=Arbolix.exe  (settings file)"

[ "$failures" -eq 0 ] && echo "all config checks passed"
exit $((failures != 0))
