#!/bin/sh
# quillock-cli recover over real files: what a session cut short left beside a
# data file is sealed, wiped or refused, each case in a folder of its own.
# Usage: cli_recover_test.sh CLI [CASE...] (no CASE: every case)
set -u
cli=$1
shift
tmp=$(mktemp -d "${TMPDIR:-/tmp}/cli_recover_test.XXXXXX") || exit 1
trap 'rm -rf "$tmp"' EXIT
# The settings stay in the temporary folder.
HOME=$tmp/home
XDG_CONFIG_HOME=$tmp/config
export HOME XDG_CONFIG_HOME
mkdir -p "$HOME" "$XDG_CONFIG_HOME"
unset VISUAL EDITOR

case=setup
failures=0
fail() {
    echo "cli_recover_test: $case: $*" >&2
    failures=$((failures + 1))
}

pw=$tmp/password
printf 'secret\n' >"$pw"
wrong=$tmp/wrong
printf 'Secret\n' >"$wrong"
chmod 600 "$pw" "$wrong"

content='Arbolix data file
first entry
'
newer='Arbolix data file
first entry
second entry, typed before the crash
'

# begin NAME: a new folder for one case (or one part of it), the current
# folder from now on.
begin() {
    case=$1
    mkdir "$tmp/$1" && cd "$tmp/$1" || exit 1
}

# seal TEXT FILE [OPTION...]: FILE holds TEXT sealed under the password.
seal() {
    printf '%s' "$1" >"$tmp/plain"
    target=$2
    shift 2
    "$cli" seal --password-file "$pw" "$@" "$tmp/plain" "$target" >/dev/null 2>&1 || fail "cannot seal $target"
    rm -f "$tmp/plain"
}

# raw_stream TEXT FILE: FILE holds the zlib stream a compressed data file
# holds TEXT as, taken from one sealed by the program.
raw_stream() {
    seal "$1" "$tmp/compressed.qlx" --compress
    "$cli" unseal --raw --password-file "$pw" "$tmp/compressed.qlx" "$2" >/dev/null 2>&1 || fail "cannot unseal raw"
    rm -f "$tmp/compressed.qlx"
    [ "$(od -An -tx1 -N2 "$2" | tr -d ' ')" = 7801 ] || fail "the raw stream does not start with 78 01"
}

# opens FILE TEXT: FILE opens with the password and holds exactly TEXT.
opens() {
    if ! "$cli" unseal --password-file "$pw" "$1" - >"$tmp/unsealed" 2>"$tmp/unseal.err"; then
        fail "$1 does not open: $(cat "$tmp/unseal.err")"
    elif [ "$(od -An -c "$tmp/unsealed")" != "$(printf '%s' "$2" | od -An -c)" ]; then
        fail "$1 holds$(head -c 48 "$tmp/unsealed" | od -An -c | tr -s ' \n' ' ')..., expected: $2"
    fi
}

# compressed FILE yes|no: whether FILE's content is sealed compressed.
compressed() {
    "$cli" check --password-file "$pw" "$1" >"$tmp/check" 2>&1 || fail "check $1 failed: $(cat "$tmp/check")"
    if [ "$2" = yes ]; then
        grep -q "opens: compressed content" "$tmp/check" || fail "$1 is not compressed: $(cat "$tmp/check")"
    else
        grep -q "opens: compressed content" "$tmp/check" && fail "$1 is compressed: $(cat "$tmp/check")"
    fi
}

# listing: the names in the current folder, one a line.
listing() {
    ls -A | sort
}

# expect_listing NAME...: the current folder holds exactly these names.
expect_listing() {
    want=$(printf '%s\n' "$@" | sort)
    got=$(listing)
    [ "$got" = "$want" ] || fail "folder holds: $(echo "$got" | tr '\n' ' '), expected: $(echo "$want" | tr '\n' ' ')"
}

# snapshot / unchanged: every file of the current folder, byte for byte.
snapshot() {
    rm -rf "$tmp/snapshot"
    mkdir "$tmp/snapshot" && cp -p ./* ./.[!.]* "$tmp/snapshot/" 2>/dev/null
    (cd "$tmp/snapshot" && ls -A | sort) >"$tmp/snapshot.list"
}
unchanged() {
    listing >"$tmp/now.list"
    cmp -s "$tmp/snapshot.list" "$tmp/now.list" ||
        fail "the files changed: $(tr '\n' ' ' <"$tmp/snapshot.list")-> $(tr '\n' ' ' <"$tmp/now.list")"
    for name in $(cat "$tmp/snapshot.list"); do
        if [ ! -f "$name" ] || ! cmp -s "$tmp/snapshot/$name" "$name"; then
            fail "$name changed"
        fi
    done
}

# run ARGUMENT...: quillock-cli with its exit code in $rc, its output in
# $tmp/out and $tmp/err; standard input is empty.
run() {
    "$cli" "$@" </dev/null >"$tmp/out" 2>"$tmp/err"
    rc=$?
}
expect_rc() {
    [ "$rc" -eq "$1" ] || fail "exit code $rc, expected $1; stdout: $(cat "$tmp/out"); stderr: $(cat "$tmp/err")"
}

# refused_unchanged ARGUMENT...: recover with these arguments ends with exit
# code 1 and leaves every file of the folder as it was.
refused_unchanged() {
    snapshot
    run recover "$@"
    expect_rc 1
    unchanged
}

# A sealed file and a newer working copy: the working copy's text is sealed,
# the old sealed file becomes the backup, no temporary file stays. The next
# recover finds nothing; the one after a newer copy rotates the backups.
case_newer_working_copy() {
    begin newer-working-copy
    seal "$content" x.qlx
    cp x.qlx "$tmp/old-sealed"
    printf '%s' "$newer" >x.qlx.qlt
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer"
    compressed x.qlx no
    cmp -s x.qlx.bak "$tmp/old-sealed" || fail "x.qlx.bak is not the old sealed file"
    expect_listing x.qlx x.qlx.bak
    grep -q "Recovered" "$tmp/out" "$tmp/err" || fail "no 'Recovered' report: $(cat "$tmp/out" "$tmp/err")"

    run recover --password-file "$pw" x.qlx
    expect_rc 0
    expect_listing x.qlx x.qlx.bak
    opens x.qlx "$newer"

    cp x.qlx "$tmp/first-recovered"
    printf '%s' "$newer$newer" >x.qlx.qlt
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer$newer"
    cmp -s x.qlx.bak "$tmp/first-recovered" || fail "x.qlx.bak is not the file the second recover replaced"
    cmp -s x.qlx.old "$tmp/old-sealed" || fail "x.qlx.old is not the older backup"
    expect_listing x.qlx x.qlx.bak x.qlx.old

    # --no-double-backup: the backup is replaced, no older copy made.
    begin no-double-backup
    seal "$content" x.qlx
    printf 'an older backup' >x.qlx.bak
    cp x.qlx "$tmp/old-sealed"
    printf '%s' "$newer" >x.qlx.qlt
    run recover --no-double-backup --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer"
    cmp -s x.qlx.bak "$tmp/old-sealed" || fail "x.qlx.bak is not the old sealed file"
    expect_listing x.qlx x.qlx.bak
}

# A newer intermediate file: compressed (a zlib stream, as a session writes
# it), it is inflated and sealed compressed as it was; plain (the working
# copy renamed for sealing), it is sealed as it is. A newer working copy
# beside it wins over it.
case_newer_intermediate() {
    begin newer-compressed-intermediate
    seal "$content" x.qlx
    raw_stream "$newer" x.qlx.qlz
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer"
    compressed x.qlx yes
    expect_listing x.qlx x.qlx.bak

    begin newer-plain-intermediate
    seal "$content" x.qlx
    printf '%s' "$newer" >x.qlx.qlz
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer"
    compressed x.qlx no
    expect_listing x.qlx x.qlx.bak

    begin working-copy-before-intermediate
    seal "$content" x.qlx
    printf '%s' "$newer$newer" >x.qlx.qlt
    printf '%s' "$newer" >x.qlx.qlz
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer$newer"
    expect_listing x.qlx x.qlx.bak
}

# A working copy that is a zlib stream of a newer text: whatever recover
# makes of it (it may refuse it, changing nothing), the data file never ends
# up holding anything but the text, nor compressed against --decompress.
case_compressed_working_copy() {
    begin compressed-working-copy
    seal "$content" x.qlx --compress
    raw_stream "$newer" x.qlx.qlt
    snapshot
    run recover --password-file "$pw" x.qlx
    if [ "$rc" -eq 0 ]; then
        opens x.qlx "$newer" # not the stream compressed again
    else
        expect_rc 1
        unchanged
    fi

    begin compressed-working-copy-decompress
    seal "$content" x.qlx
    raw_stream "$newer" x.qlx.qlt
    snapshot
    run recover --decompress --password-file "$pw" x.qlx
    if [ "$rc" -eq 0 ]; then
        opens x.qlx "$newer"
        compressed x.qlx no
    else
        expect_rc 1
        unchanged
    fi
}

# A copy cut short (a strict beginning of the content, also one that ends
# inside the first line), or one identical to it: wiped, the data file left
# as it is, no backup made.
case_copy_cut_short_or_same() {
    for cut in 20 5 0; do
        begin "working-copy-cut-short-$cut"
        seal "$content" x.qlx
        cp x.qlx "$tmp/old-sealed"
        printf '%s' "$content" | head -c "$cut" >x.qlx.qlt
        run recover --password-file "$pw" x.qlx
        expect_rc 0
        cmp -s x.qlx "$tmp/old-sealed" || fail "x.qlx changed"
        expect_listing x.qlx
    done

    begin same-working-copy
    seal "$content" x.qlx
    cp x.qlx "$tmp/old-sealed"
    printf '%s' "$content" >x.qlx.qlt
    raw_stream "$content" x.qlx.qlz
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    cmp -s x.qlx "$tmp/old-sealed" || fail "x.qlx changed"
    expect_listing x.qlx
}

# A left-over file that is neither editor text nor compressed data of ours
# stops it, with every file as it was.
case_unusable_left_over() {
    begin garbage-working-copy
    seal "$content" x.qlx
    printf 'not a text of ours\nsecond line\n' >x.qlx.qlt
    printf '%s' "$newer" >x.qlx.qlz
    refused_unchanged --password-file "$pw" x.qlx
    grep -q "x.qlx.qlt" "$tmp/err" || fail "the refusal does not name the working copy: $(cat "$tmp/err")"

    # Bytes that start like a zlib stream of another kind (78 9c).
    begin foreign-stream-intermediate
    seal "$content" x.qlx
    printf '\170\234garbage' >x.qlx.qlz
    refused_unchanged --password-file "$pw" x.qlx
}

# The wrong password: reported, nothing changed.
case_wrong_password() {
    begin wrong-password
    seal "$content" x.qlx
    printf '%s' "$newer" >x.qlx.qlt
    snapshot
    run recover --password-file "$wrong" x.qlx
    expect_rc 1
    grep -q "x.qlx: does not open: wrong password" "$tmp/err" || fail "no 'does not open: wrong password' in stderr: $(cat "$tmp/err")"
    unchanged
}

# Nothing left over: said so, and no password is read (a password file that
# does not exist, or a descriptor that is not open, is never looked at).
# With a left-over file the same password file is read, and its absence
# stops it.
case_nothing_left_over() {
    begin nothing-left-over
    seal "$content" x.qlx
    snapshot
    run recover --password-file "$tmp/no-such-password" x.qlx
    expect_rc 0
    grep -q "Nothing to recover" "$tmp/out" "$tmp/err" || fail "no 'Nothing to recover': $(cat "$tmp/out" "$tmp/err")"
    unchanged
    run recover --password-fd 9 x.qlx
    expect_rc 0
    unchanged
    printf '%s' "$newer" >x.qlx.qlt
    refused_unchanged --password-file "$tmp/no-such-password" x.qlx
}

# An import cut short: the plain file already named x.qlx is sealed itself,
# or the newer working copy or intermediate file beside it. A plain file
# with another name has nothing to recover.
case_import_cut_short() {
    # NAME, the left-over beside the plain x.qlx (none, .qlt or .qlz), the text sealed.
    for left in "import-cut-short||$content" "import-cut-short-newer-working-copy|.qlt|$newer" \
        "import-cut-short-newer-intermediate|.qlz|$newer"; do
        name=${left%%|*}
        rest=${left#*|}
        suffix=${rest%%|*}
        begin "$name"
        printf '%s' "$content" >x.qlx
        [ -z "$suffix" ] || printf '%s' "$newer" >"x.qlx$suffix"
        run recover --password-file "$pw" x.qlx
        expect_rc 0
        opens x.qlx "${rest#*|}"
        expect_listing x.qlx
    done

    begin plain-file-other-name
    printf '%s' "$content" >x.txt
    printf '%s' "$newer" >x.txt.qlt
    refused_unchanged --password-file "$pw" x.txt
}

# --compress makes the result compressed; --decompress undoes it.
case_compress() {
    begin compress
    seal "$content" x.qlx
    printf '%s' "$newer" >x.qlx.qlt
    run recover --compress --password-file "$pw" x.qlx
    expect_rc 0
    compressed x.qlx yes
    opens x.qlx "$newer"
    expect_listing x.qlx x.qlx.bak

    begin decompress
    seal "$content" x.qlx --compress
    printf '%s' "$newer" >x.qlx.qlt
    run recover --decompress --password-file "$pw" x.qlx
    expect_rc 0
    compressed x.qlx no
    opens x.qlx "$newer"
}

# Help, and usage errors (which change nothing).
case_usage() {
    begin usage
    run recover --help
    expect_rc 0
    for option in --cipher --hash --compress --decompress --no-double-backup --quiet --password-file \
        --password-fd --password-command; do
        grep -q -- "$option" "$tmp/out" || fail "recover --help does not list $option"
    done
    seal "$content" x.qlx
    printf '%s' "$newer" >x.qlx.qlt
    snapshot
    for arguments in "" "x.qlx x.qlx" "--no-such-option x.qlx" "--compress --decompress x.qlx" \
        "--cipher nosuch x.qlx" "--editor vi x.qlx"; do
        # shellcheck disable=SC2086
        run recover --password-file "$pw" $arguments
        [ "$rc" -eq 2 ] || fail "recover $arguments: exit code $rc, expected 2"
    done
    run recover
    expect_rc 2
    unchanged
}

# End to end: an editor that adds to the working copy, then kills the session
# that started it. recover seals what it added; the lock file the killed
# session may leave does not stop the next session.
case_killed_session() {
    begin killed-session
    seal "$content" x.qlx
    cp x.qlx "$tmp/old-sealed"
    cat >"$tmp/killing-editor" <<'EDITOR'
#!/bin/sh
# Adds a line to the working copy, then kills the nearest quillock-cli up the
# chain of its parents: the session waiting for it.
printf 'second entry, typed before the crash\n' >>"$1"
pid=$PPID
while [ "$pid" -gt 1 ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" != quillock-cli ]; do
    pid=$(awk '/^PPid:/ { print $2 }' "/proc/$pid/status" 2>/dev/null)
    [ -n "$pid" ] || pid=1
done
[ "$pid" -gt 1 ] || exit 3
kill -KILL "$pid" || exit 4
# Until the kill has landed (at most 10 s), so that the session never sees
# this editor end.
tries=0
while [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = quillock-cli ] && ! grep -q '^State:.*Z' "/proc/$pid/status" &&
    [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
done
EDITOR
    chmod 700 "$tmp/killing-editor"
    run edit --password-file "$pw" --editor "$tmp/killing-editor" x.qlx
    [ "$rc" -eq 137 ] || fail "edit ended with $rc, not killed; stderr: $(cat "$tmp/err")"
    [ -f x.qlx.qlt ] || fail "no working copy after the kill"
    cmp -s x.qlx "$tmp/old-sealed" || fail "x.qlx changed by the killed session"
    run recover --password-file "$pw" x.qlx
    expect_rc 0
    opens x.qlx "$newer"
    cmp -s x.qlx.bak "$tmp/old-sealed" || fail "x.qlx.bak is not the old sealed file"
    [ -e x.qlx.qlt ] && fail "the working copy stayed"
    [ -e x.qlx.qlz ] && fail "the intermediate file stayed"
    run edit --password-file "$pw" --editor /bin/true --editor-returns-at-once x.qlx
    expect_rc 0
    opens x.qlx "$newer"
}

all_cases="newer_working_copy newer_intermediate compressed_working_copy copy_cut_short_or_same unusable_left_over
wrong_password nothing_left_over import_cut_short compress usage killed_session"
if [ $# -eq 0 ]; then
    # shellcheck disable=SC2086
    set -- $all_cases
fi
for name in "$@"; do
    case " $(echo $all_cases) " in
    *" $name "*) "case_$name" ;;
    *)
        echo "cli_recover_test: no case $name" >&2
        exit 2
        ;;
    esac
done

if [ "$failures" -ne 0 ]; then
    echo "cli_recover_test: $failures failure(s)" >&2
    exit 1
fi
