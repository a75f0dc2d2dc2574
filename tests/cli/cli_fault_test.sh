#!/bin/sh
# Fault tests of "quillock-cli seal" and "quillock-cli unseal": odd data files,
# things planted at the temporary names, a full disk, damaged sealed files and
# wrong choices. Each case checks the exit code, the message, which files
# exist and their modes. Usage: cli_fault_test.sh CLI DATA_DIR
set -u
cli=$1
data=$2
work=$(mktemp -d)
tools=$(mktemp -d)
trap 'rm -rf "$work" "$tools"' EXIT
. "$(dirname "$0")/testlib.sh"
private_password "$tools/password.txt"
plain="$data/plain_70000.txt"
sealed="$data/rijndael_ripemd160_70000.qlx"
compressed="$data/rijndael_ripemd160_compressed_70000.qlx"
decryption_error="does not open: wrong password, or the file was sealed with another cipher or digest"
wrong_password="wrong password, or the file was sealed with another cipher or digest"

expect_message() {
    grep -q "$1" "$work/err" || fail "no message '$1' (got: $(cat "$work/err"))"
}

expect_absent() {
    for f in "$@"; do
        [ -e "$f" ] || [ -L "$f" ] && fail "left behind: $f"
    done
}

expect_mode() {
    [ "$(stat -c %a "$1")" = "$2" ] || fail "$1 has mode $(stat -c %a "$1"), wanted $2"
}

# Nothing but the named entries in the work folder.
expect_only() {
    found=$(cd "$work" && ls -A | grep -v '^err$' | sort | tr '\n' ' ')
    wanted=$([ $# -eq 0 ] || printf '%s\n' "$@" | sort | tr '\n' ' ')
    [ "$found" = "$wanted" ] || fail "folder holds '$found', wanted '$wanted'"
}

reset() {
    rm -rf "$work"/* "$work"/.[!.]* 2>/dev/null
}

# ---- The data file is not a regular file ----------------------------------

reset
mkdir "$work/dir.qlx"
run 1 "$cli" unseal --password-file "$pw" "$work/dir.qlx" "$work/out"
expect_message "dir.qlx: cannot be unsealed: reading it or writing the plain copy failed: Is a directory"
expect_only dir.qlx
run 1 "$cli" seal --force --password-file "$pw" "$plain" "$work/dir.qlx"
expect_message "is a folder, not a regular file"
[ -d "$work/dir.qlx" ] || fail "the directory was replaced"
expect_only dir.qlx

reset
mkfifo "$work/fifo.qlx"
run 1 "$cli" unseal --password-file "$pw" "$work/fifo.qlx" "$work/out"
expect_message "cannot be unsealed: reading it or writing the plain copy failed"
run 1 "$cli" seal --force --password-file "$pw" "$plain" "$work/fifo.qlx"
expect_message "is a FIFO, not a regular file"
[ -p "$work/fifo.qlx" ] || fail "the FIFO was replaced"
expect_only fifo.qlx
# A FIFO as the plain input of sealing does not wait for a writer either.
run 1 "$cli" seal --password-file "$pw" "$work/fifo.qlx" "$work/new.qlx"
expect_only fifo.qlx

for device in /dev/zero /dev/null; do
    reset
    run 1 "$cli" unseal --password-file "$pw" "$device" "$work/out"
    expect_message "cannot be unsealed: reading it or writing the plain copy failed"
    expect_only
    run 1 "$cli" seal --password-file "$pw" "$device" "$work/new.qlx"
    expect_only
done

# A data file reached through a symbolic link unseals; sealing (--force, as
# the name exists) replaces the link by a regular file and leaves what the
# link pointed at as it was.
reset
cp "$sealed" "$work/target.qlx"
ln -s "$work/target.qlx" "$work/link.qlx"
run 0 "$cli" unseal --password-file "$pw" "$work/link.qlx" "$work/out"
cmp -s "$work/out" "$plain" || fail "unsealing through a link"
expect_mode "$work/out" 600
run 1 "$cli" seal --password-file "$pw" "$plain" "$work/link.qlx"
expect_message "link.qlx: exists"; expect_message "Give --force to replace it"
run 0 "$cli" seal --force --password-file "$pw" "$plain" "$work/link.qlx"
[ -L "$work/link.qlx" ] && fail "sealing wrote through the link instead of replacing it"
cmp -s "$work/link.qlx" "$sealed" || fail "the sealed file at the link's name"
cmp -s "$work/target.qlx" "$sealed" || fail "the link's target changed"

# ---- Things planted at the temporary names -------------------------------

# A regular file at the temporary name may be the only copy of an earlier
# run's text: refused, and left exactly as it was.
reset
echo "earlier text" >"$work/out.qlt"
run 1 "$cli" unseal --password-file "$pw" "$compressed" "$work/out"
expect_message "out.qlt: exists, perhaps left by an earlier run"
[ "$(cat "$work/out.qlt")" = "earlier text" ] || fail "unseal wiped a left-over .qlt"
expect_only "out.qlt"
# A compressed content streams into that one temporary: a .qlz is no name
# of unseal's and stays as it is.
reset
echo "earlier text" >"$work/out.qlz"
run 0 "$cli" unseal --password-file "$pw" "$compressed" "$work/out"
cmp -s "$work/out" "$plain" || fail "unseal beside a .qlz"
[ "$(cat "$work/out.qlz")" = "earlier text" ] || fail "unseal touched a .qlz"
expect_only out out.qlz
reset
echo "earlier text" >"$work/new.qlx.qlt"
# Standard input is sealed as it streams, through no file of that name: a
# left-over .qlt stays as it is.
run 0 "$cli" seal --password-file "$pw" - "$work/new.qlx" <"$plain"
[ "$(cat "$work/new.qlx.qlt")" = "earlier text" ] || fail "seal from standard input wiped a left-over .qlt"
rm "$work/new.qlx"
# A file is compressed as it is sealed, through no file of that name either.
echo "earlier text" >"$work/new.qlx.qlz"
run 0 "$cli" seal --compress --password-file "$pw" "$plain" "$work/new.qlx"
[ "$(cat "$work/new.qlx.qlz")" = "earlier text" ] || fail "seal --compress wiped a left-over .qlz"
expect_only new.qlx new.qlx.qlt new.qlx.qlz


for planted in link fifo; do
    reset
    echo "precious" >"$work/precious"
    chmod 644 "$work/precious"
    if [ $planted = link ]; then
        ln -s "$work/precious" "$work/out.qlt"
    else
        mkfifo "$work/out.qlt"
    fi
    run 0 "$cli" unseal --password-file "$pw" "$compressed" "$work/out"
    [ "$(cat "$work/precious")" = precious ] || fail "wrote through a $planted at .qlt"
    cmp -s "$work/out" "$plain" || fail "unseal past a $planted at .qlt"
    # The planted thing is removed, never written through or waited on.
    expect_absent "$work/out.qlt"
    expect_only out precious
    reset
    echo "precious" >"$work/precious"
    cp "$sealed" "$work/data.qlx"
    chmod 640 "$work/data.qlx"
    if [ $planted = link ]; then
        ln -s "$work/precious" "$work/data.qlx.qln"
    else
        mkfifo "$work/data.qlx.qln"
    fi
    # Something that is not ours at the temporary name is refused, never
    # removed, written through or waited on; the data file stays as it was.
    run 1 "$cli" seal --force --password-file "$pw" "$data/plain_17.txt" "$work/data.qlx"
    expect_message "cannot be sealed: reading the plain text or writing the data file failed"
    cmp -s "$work/data.qlx" "$sealed" || fail "a refused sealing past a $planted at .qln changed the data file"
    expect_mode "$work/data.qlx" 640
    [ "$(cat "$work/precious")" = precious ] || fail "sealing wrote through a $planted at .qln"
    expect_only precious data.qlx data.qlx.qln
done

# ---- A full disk -----------------------------------------------------------

# limited BLOCKS COMMAND...: runs the command with its file size limited to
# BLOCKS blocks of 512 bytes; a write past it fails with EFBIG.
cat >"$tools/limited" <<'SCRIPT'
#!/bin/sh
trap "" XFSZ
ulimit -f "$1"
shift
exec "$@"
SCRIPT
chmod +x "$tools/limited"
limited="$tools/limited"

# Writing the unsealed content fails, stored plain or decompressed (the
# 7,911 compressed bytes would fit, the 70,000 plain bytes do not): the
# partial temporary is wiped.
reset
run 1 "$limited" 40 "$cli" unseal --password-file "$pw" "$sealed" "$work/out"
expect_message "cannot be unsealed: reading it or writing the plain copy failed"
expect_message "Cannot write $work/out.qlt: File too large"
expect_only
run 1 "$limited" 40 "$cli" unseal --password-file "$pw" "$compressed" "$work/out"
expect_message "cannot be unsealed: reading it or writing the plain copy failed"
expect_message "Cannot write $work/out.qlt: File too large"
expect_only
# Writing the new sealed file fails: the old one stays whole, nothing else is left.
cp "$data/rijndael_ripemd160_17.qlx" "$work/keep.qlx"
chmod 600 "$work/keep.qlx"
run 1 "$limited" 40 "$cli" seal --force --password-file "$pw" "$plain" "$work/keep.qlx"
expect_message "cannot be sealed: reading the plain text or writing the data file failed"
cmp -s "$work/keep.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "a full disk damaged the data file"
expect_mode "$work/keep.qlx" 600
expect_only keep.qlx
# Writing the compressed new sealed file fails (content that does not compress).
head -c 100000 /dev/urandom >"$work/noise"
run 1 "$limited" 100 "$cli" seal --force --compress --raw --password-file "$pw" "$work/noise" "$work/keep.qlx"
expect_message "keep.qlx: cannot be sealed: reading the plain text or writing the data file failed: File too large"
cmp -s "$work/keep.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "a full disk while compressing damaged the data file"
expect_only keep.qlx noise

# ---- Damaged sealed files ---------------------------------------------------

# truncate_copy FROM TO BYTES: the first BYTES bytes of FROM.
truncate_copy() {
    head -c "$3" "$1" >"$2"
}
# flip_copy FROM TO OFFSET: FROM with the byte at OFFSET inverted.
flip_copy() {
    python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); o = int(sys.argv[3]); d[o] ^= 0xFF; open(sys.argv[2], "wb").write(d)' "$@"
}

# The format has no integrity check: a damaged plain content unseals without
# complaint, damaged only where it was hit. This is the documented limit.
reset
truncate_copy "$sealed" "$work/cut.qlx" 40000
run 0 "$cli" unseal --password-file "$pw" "$work/cut.qlx" "$work/out"
[ "$(stat -c %s "$work/out")" = 40000 ] || fail "a cut plain content unseals to its length"
cmp -s -n 39968 "$work/out" "$plain" || fail "a cut plain content keeps the part before the cut"
expect_mode "$work/out" 600
flip_copy "$sealed" "$work/flip.qlx" 30000
run 0 "$cli" unseal --password-file "$pw" "$work/flip.qlx" "$work/out2"
cmp -s "$work/out2" "$plain" && fail "a flipped byte left no trace"
cmp -s -n 29984 "$work/out2" "$plain" || fail "a flipped byte damaged the content before it"

# A damaged compressed content is a decryption error and leaves nothing.
for damage in cut flip tail; do
    reset
    size=$(stat -c %s "$compressed")
    case $damage in
    cut) truncate_copy "$compressed" "$work/bad.qlx" $((size / 2)) ;;
    flip) flip_copy "$compressed" "$work/bad.qlx" $((size / 2)) ;;
    tail) truncate_copy "$compressed" "$work/bad.qlx" $((size - 2)) ;; # the Adler-32 trailer cut
    esac
    run 1 "$cli" unseal --password-file "$pw" "$work/bad.qlx" "$work/out"
    # A flipped byte stops the first piece already: it does not open, as a wrong password.
    if [ $damage = flip ]; then
        expect_message "$wrong_password"
        expect_message "unseal --salvage"
    else
        expect_message "$decryption_error"
    fi
    expect_only bad.qlx
    # Salvage recovers the part that still decodes.
    run 0 "$cli" unseal --salvage --password-file "$pw" "$work/bad.qlx" "$work/out"
    expect_message "warning: the content is damaged"
    got=$(stat -c %s "$work/out")
    [ "$got" -gt 0 ] || fail "salvage of a $damage content recovered nothing"
    expect_message "$got bytes recovered"
    # The damage lies at the middle of the compressed data, past the first
    # 20,000 plain bytes; what follows it may decode to garbage for a while.
    cmp -s -n 20000 "$work/out" "$plain" || fail "salvage of a $damage content does not begin with the content"
    if [ $damage = tail ]; then
        cmp -s "$work/out" "$plain" || fail "salvage without the Adler-32 trailer gives the whole content"
    fi
    expect_mode "$work/out" 600
    expect_only bad.qlx out
done
# Salvage of a whole compressed content is a plain unseal, without a warning.
run 0 "$cli" unseal --salvage --password-file "$pw" "$compressed" "$work/whole"
cmp -s "$work/whole" "$plain" || fail "salvage of a whole content"
[ -s "$work/err" ] && fail "salvage of a whole content warned: $(cat "$work/err")"
# Salvage under a wrong password recovers nothing: exit 1, nothing left.
reset
printf 'wrong\n' >"$work/wrong"
run 1 "$cli" unseal --salvage --password-file "$work/wrong" "$compressed" "$work/out"
expect_message "$decryption_error"
expect_message "nothing could be recovered"
expect_only wrong
run 2 "$cli" unseal --salvage --raw --password-file "$pw" "$compressed" "$work/out"

# ---- Empty data file, wrong password and choices ----------------------------

reset
: >"$work/empty.qlx"
run 0 "$cli" unseal --password-file "$pw" "$work/empty.qlx" "$work/out"
[ -f "$work/out" ] && [ ! -s "$work/out" ] || fail "an empty data file unseals to an empty file"
expect_mode "$work/out" 600
expect_only empty.qlx out

for choice in "--password-file $work/wrong" "--cipher blowfish --password-file $pw" \
    "--hash sha1 --password-file $pw"; do
    reset
    printf 'wrong\n' >"$work/wrong"
    # shellcheck disable=SC2086
    run 1 "$cli" unseal $choice "$compressed" "$work/out"
    expect_message "$wrong_password"
    expect_only wrong
done

[ "$failures" -eq 0 ] && echo "all fault checks passed"
exit $((failures != 0))
