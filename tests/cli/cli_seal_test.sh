#!/bin/sh
# End-to-end tests of "quillock-cli seal" and "quillock-cli unseal" against
# the independently computed fixtures. Usage: cli_seal_test.sh CLI DATA_DIR
set -u
cli=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$(dirname "$0")/testlib.sh"
private_password "$work/password.txt"

# Unsealing: plain content, and compressed content that is decompressed.
run 0 "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" "$work/plain"
cmp -s "$work/plain" "$data/plain_70000.txt" || fail "unseal of a plain content"
[ "$(stat -c %a "$work/plain")" = 600 ] || fail "plain output is not owner-only"
run 0 "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" "$work/plain2"
cmp -s "$work/plain2" "$data/plain_70000.txt" || fail "unseal of a compressed content"
run 0 "$cli" unseal --raw --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" "$work/raw"
cmp -s "$work/raw" "$data/compressed_70000.qlz" || fail "unseal --raw"
ls "$work" | grep -q '\.ql[tz]$' && fail "temporary files left after unsealing"

# Sealing matches the fixture byte for byte; the password comes from a descriptor.
run 0 "$cli" seal --cipher blowfish --hash sha1 --password-fd 3 \
    "$data/plain_8193.txt" "$work/bf.qlx" 3<"$pw"
cmp -s "$work/bf.qlx" "$data/blowfish_sha1_8193.qlx" || fail "seal with Blowfish and SHA-1"
run 0 "$cli" seal --password-file "$pw" "$data/plain_17.txt" "$work/r.qlx"
cmp -s "$work/r.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "seal with the default choices"

# Compressed sealing comes back through unseal; nothing plain is left beside it.
run 0 "$cli" seal --compress --hash sha1 --password-file "$pw" "$data/plain_70000.txt" "$work/c.qlx"
[ -e "$work/c.qlx.qlz" ] && fail "compressed temporary left after sealing"
run 0 "$cli" unseal --raw --hash sha1 --password-file "$pw" "$work/c.qlx" "$work/c.raw"
python3 -c 'import sys,zlib; sys.exit(zlib.decompress(open(sys.argv[1],"rb").read()) != open(sys.argv[2],"rb").read())' \
    "$work/c.raw" "$data/plain_70000.txt" || fail "seal --compress does not hold a zlib stream of the content"
run 0 "$cli" unseal --hash sha1 --password-file "$pw" "$work/c.qlx" "$work/c.plain"
cmp -s "$work/c.plain" "$data/plain_70000.txt" || fail "round trip of seal --compress"

# A wrong password or cipher: the decryption error, exit 1, nothing left.
printf 'wrong\n' >"$work/wrong"
# A new password shorter than 8 characters seals, with one warning line; a longer one without.
run 0 "$cli" seal --password-file "$work/wrong" "$data/plain_8193.txt" "$work/short.qlx"
[ "$(grep -c 'shorter than 8 characters' "$work/err")" -eq 1 ] || fail "no warning for a short password: $(cat "$work/err")"
run 0 "$cli" seal --password-file "$pw" "$data/plain_8193.txt" "$work/long.qlx"
grep -q 'shorter than' "$work/err" && fail "a warning for a long password: $(cat "$work/err")"
rm -f "$work/short.qlx" "$work/long.qlx"
run 1 "$cli" unseal --password-file "$work/wrong" "$data/rijndael_ripemd160_70000.qlx" "$work/bad"
grep -q "wrong password, or the file was sealed with another cipher or digest" "$work/err" || fail "no decryption error message"
run 1 "$cli" unseal --cipher blowfish --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" "$work/bad"
[ -e "$work/bad" ] || [ -e "$work/bad.qlt" ] || [ -e "$work/bad.qlz" ] && fail "files left after a wrong password"

# A sealing that fails leaves the old data file as it was.
cp "$data/rijndael_ripemd160_17.qlx" "$work/keep.qlx"
run 1 "$cli" seal --password-file "$pw" "$work/missing" "$work/keep.qlx"
cmp -s "$work/keep.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "failed sealing changed the data file"

# Passwords: a character without a Windows-1252 byte is refused; no terminal, no password.
printf '\316\251mega\n' >"$work/omega"
run 1 "$cli" seal --password-file "$work/omega" "$data/plain_5.txt" "$work/o.qlx"
grep -q "Windows-1252" "$work/err" || fail "no message for a password outside Windows-1252"
[ -e "$work/o.qlx" ] && fail "sealed with a refused password"
if command -v setsid >/dev/null; then
    run 1 setsid -w "$cli" unseal "$data/rijndael_ripemd160_5.qlx" "$work/t" </dev/null
    grep -q "password-file" "$work/err" || fail "no hint when there is no terminal"
fi

# Usage errors.
run 2 "$cli" seal "$data/plain_5.txt"
run 2 "$cli" seal --cipher des --password-file "$pw" "$data/plain_5.txt" "$work/x"
run 2 "$cli" unseal --compress --password-file "$pw" a b
run 2 "$cli" unseal --password-file "$pw" --password-fd 0 a b
run 2 "$cli" unseal --raw --password-file "$pw" "$work/r.qlx" "$work/r.qlx"
cmp -s "$work/r.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "unsealing onto itself damaged the file"

# Options the standard way: --opt=value, options after the files, "--" ends
# them (a file may then be called "-x"), -h anywhere; usage errors say so.
run 0 "$cli" seal --cipher=blowfish --hash=sha1 "--password-file=$pw" "$data/plain_8193.txt" "$work/eq.qlx"
cmp -s "$work/eq.qlx" "$data/blowfish_sha1_8193.qlx" || fail "seal with --opt=value"
run 0 "$cli" unseal "$work/eq.qlx" "$work/eq.txt" --password-file "$pw" --hash sha1 --cipher blowfish
cmp -s "$work/eq.txt" "$data/plain_8193.txt" || fail "options after the files"
cp "$data/plain_17.txt" "$work/-x"
(cd "$work" && run 0 "$cli" seal --password-file "$pw" -- -x dash.qlx)
cmp -s "$work/dash.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "a file named -x after --"
run 2 "$cli" seal --password-file "$pw" -x "$work/y.qlx"
grep -q "unknown option '-x'" "$work/err" || fail "no message for an unknown short option"
run 2 "$cli" unseal --raw=yes --password-file "$pw" a b
grep -q -- "--raw takes no value" "$work/err" || fail "no message for a flag given a value"
grep -q "^usage: quillock-cli unseal" "$work/err" || fail "a usage error without the usage line"
run 2 "$cli" check --cipher
grep -q -- "--cipher needs a value" "$work/err" || fail "no message for a missing value"
for command in check edit seal unseal; do
    "$cli" "$command" a b -h >"$work/help" 2>&1 || fail "$command -h after the files"
    grep -q "^usage: quillock-cli $command" "$work/help" || fail "$command -h shows no usage"
    "$cli" help "$command" | cmp -s - "$work/help" || fail "help $command differs from $command --help"
done
run 0 "$cli" help >/dev/null
run 2 "$cli" help nosuch
"$cli" --version >"$work/version" || fail "--version failed"
grep -q "^quillock-cli [0-9]" "$work/version" || fail "--version without the name and version"
grep -q "^Rijndael: " "$work/version" || fail "--version does not say which Rijndael code runs"
QUILLOCK_PORTABLE_CRYPTO=1 "$cli" --version | grep -q "^Rijndael: portable" ||
    fail "--version does not show the portable rounds when they are forced"

# Outputs that never destroy: an existing output needs --force; a FIFO, a
# folder or a device is refused even with it, and left as it was.
printf 'older\n' >"$work/exists"
run 1 "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_17.qlx" "$work/exists"
grep -q "/exists: exists$" "$work/err" && grep -q "^Give --force" "$work/err" || fail "no message for an existing PLAIN"
[ "$(cat "$work/exists")" = older ] || fail "unseal replaced an existing file without --force"
run 1 "$cli" seal --password-file "$pw" "$data/plain_5.txt" "$work/exists"
[ "$(cat "$work/exists")" = older ] || fail "seal replaced an existing file without --force"
run 0 "$cli" unseal --force --password-file "$pw" "$data/rijndael_ripemd160_17.qlx" "$work/exists"
cmp -s "$work/exists" "$data/plain_17.txt" || fail "unseal --force"
run 0 "$cli" seal --force --password-file "$pw" "$data/plain_17.txt" "$work/exists"
cmp -s "$work/exists" "$data/rijndael_ripemd160_17.qlx" || fail "seal --force"
# A wrong password with --force leaves the old file whole.
run 1 "$cli" unseal --force --password-file "$work/wrong" "$data/rijndael_ripemd160_70000.qlx" "$work/exists"
cmp -s "$work/exists" "$data/rijndael_ripemd160_17.qlx" || fail "a failed unseal --force damaged the old file"
# A data file a session holds (its lock) is never replaced, even with --force;
# the refusal names the lock.
for command in "seal $data/plain_5.txt" "unseal $data/rijndael_ripemd160_70000.qlx"; do
    (flock 9 && "$cli" ${command%% *} --force --password-file "$pw" ${command#* } "$work/exists" 2>"$work/err"
        echo $? >"$work/code") 9>"$work/exists.qlk"
    [ "$(cat "$work/code")" = 1 ] || fail "${command%% *} --force onto a locked data file: exit $(cat "$work/code")"
    grep -q "being edited by another copy of this program (it holds \"$work/exists.qlk\")" "$work/err" ||
        fail "${command%% *} --force onto a locked data file: $(cat "$work/err")"
    cmp -s "$work/exists" "$data/rijndael_ripemd160_17.qlx" || fail "${command%% *} --force replaced a locked file"
    rm -f "$work/exists.qlk"
done
mkfifo "$work/fifo"
mkdir "$work/folder"
for target in "$work/fifo" "$work/folder"; do
    for force in "" --force; do
        run 1 "$cli" unseal $force --password-file "$pw" "$data/rijndael_ripemd160_17.qlx" "$target"
        grep -q "not a regular file" "$work/err" || fail "unseal $force into $target: no refusal"
        run 1 "$cli" seal $force --password-file "$pw" "$data/plain_17.txt" "$target"
        grep -q "not a regular file" "$work/err" || fail "seal $force into $target: no refusal"
    done
done
[ -p "$work/fifo" ] && [ -d "$work/folder" ] && [ -z "$(ls "$work/folder")" ] || fail "a refused target changed"
if [ "$(id -u)" -eq 0 ]; then
    # As root every file is writable: the device node must stay a device.
    mknod "$work/null" c 1 3
    run 1 "$cli" unseal --force --password-file "$pw" "$data/rijndael_ripemd160_17.qlx" "$work/null"
    [ -c "$work/null" ] || fail "unseal as root replaced a device node"
    run 1 "$cli" unseal --force --password-file "$pw" "$data/rijndael_ripemd160_17.qlx" /dev/null
    [ -c /dev/null ] || fail "unseal as root replaced /dev/null"
else
    echo "skipped: the device cases need root"
fi

# "-": unseal to standard output writes nothing plain to disk, seal reads
# standard input; both in pieces, so any size goes through.
mkdir "$work/out"
(cd "$work/out" && "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" - \
    >"$work/stdout.txt" 2>"$work/err") || fail "unseal to standard output: $(cat "$work/err")"
cmp -s "$work/stdout.txt" "$data/plain_70000.txt" || fail "unseal of a compressed content to standard output"
[ -z "$(ls -A "$work/out")" ] || fail "unseal to standard output left files: $(ls -A "$work/out")"
"$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" - 2>/dev/null |
    cmp -s - "$data/plain_70000.txt" || fail "unseal of a plain content to standard output"
"$cli" unseal --raw --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" - 2>/dev/null |
    cmp -s - "$data/compressed_70000.qlz" || fail "unseal --raw to standard output"
run 1 "$cli" unseal --password-file "$work/wrong" "$data/rijndael_ripemd160_70000.qlx" -
grep -q "wrong password, or the file was sealed with another cipher or digest" "$work/err" || fail "unseal to standard output with a wrong password"
run 2 "$cli" unseal --salvage --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" -
run 0 "$cli" seal --password-file "$pw" - "$work/stdin.qlx" <"$data/plain_8193.txt"
[ -e "$work/stdin.qlx.qlt" ] && fail "seal from standard input left its copy"
run 0 "$cli" unseal --password-file "$pw" "$work/stdin.qlx" "$work/stdin.txt"
cmp -s "$work/stdin.txt" "$data/plain_8193.txt" || fail "seal from standard input"
head -c 3000000 /dev/urandom | od -An -tx1 | sed 's/^/Arbolix /' >"$work/large.txt"
"$cli" seal --compress --password-file "$pw" - "$work/large.qlx" <"$work/large.txt" 2>"$work/err" ||
    fail "seal --compress from standard input: $(cat "$work/err")"
"$cli" unseal --password-file "$pw" "$work/large.qlx" - 2>/dev/null | cmp -s - "$work/large.txt" ||
    fail "a large content through standard input and output"
run 2 "$cli" seal --password-file "$pw" - -

# check: opens or not, exit 0 or 1, nothing written; no progress without a terminal.
mkdir "$work/check"
(cd "$work/check" && "$cli" check --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" \
    >"$work/out.txt" 2>"$work/err") || fail "check of a good file"
[ "$(cat "$work/out.txt")" = "opens: compressed content, 70000 bytes" ] || fail "check says: $(cat "$work/out.txt")"
grep -q '%' "$work/err" && fail "check showed progress without a terminal: $(cat "$work/err")"
[ "$("$cli" check --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx")" = "opens: plain editor content" ] ||
    fail "check of a plain content"
run 1 "$cli" check --cipher blowfish --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx"
grep -q "wrong password, or the file was sealed with another cipher or digest" "$work/err" || fail "check with the wrong cipher"
[ -z "$(ls -A "$work/check")" ] || fail "check wrote files"

# A missing or unreadable file, or a folder: what happened with the system's
# reason, then what to do.
run 1 "$cli" check --password-file "$pw" "$work/missing.qlx"
grep -q "^quillock-cli: .*missing.qlx: cannot be opened: No such file or directory$" "$work/err" &&
    grep -q "^Check the name" "$work/err" || fail "no reason for a missing file: $(cat "$work/err")"
run 1 "$cli" check --password-file "$pw" "$work"
grep -q "^quillock-cli: $work: cannot be unsealed: .*: Is a directory$" "$work/err" ||
    fail "no reason for a folder: $(cat "$work/err")"
cp "$data/rijndael_ripemd160_5.qlx" "$work/locked.qlx"
chmod 000 "$work/locked.qlx"
if [ "$(id -u)" -ne 0 ]; then
    run 1 "$cli" check --password-file "$pw" "$work/locked.qlx"
    grep -q "locked.qlx: cannot be opened: Permission denied" "$work/err" || fail "no reason for an unreadable file"
elif command -v setpriv >/dev/null; then
    # Root reads everything: another user (nobody) meets the locked file.
    chmod 755 "$work"
    run 1 setpriv --reuid=65534 --regid=65534 --clear-groups \
        "$cli" check --password-file "$pw" "$work/locked.qlx"
    grep -q "locked.qlx: cannot be opened: Permission denied" "$work/err" || fail "no reason for an unreadable file: $(cat "$work/err")"
else
    echo "skipped: the unreadable-file case needs setpriv as root"
fi

# Only what a session opens is sealed as a data file: an editor file (with
# --compress: before compression). Anything else, empty included, is refused
# with nothing written, named, with the way on (--raw); --raw seals any bytes
# and unseal --raw gives them back, while check and unseal say what they found.
mkdir "$work/kinds"
printf 'My diary\n' >"$work/kinds/diary.txt"
: >"$work/kinds/empty.txt"
for input in diary empty; do
    for way in "" --compress; do
        run 1 "$cli" seal $way --password-file "$pw" "$work/kinds/$input.txt" "$work/kinds/out.qlx"
        grep -q "^quillock-cli: .*/$input.txt: is .*nothing has been sealed$" "$work/err" &&
            grep -q "^Give --raw to seal the bytes as they are.*unseal --raw" "$work/err" ||
            fail "no refusal of $input.txt (seal $way): $(cat "$work/err")"
        run 1 "$cli" seal $way --password-file "$pw" - "$work/kinds/out.qlx" <"$work/kinds/$input.txt"
        grep -q "^quillock-cli: standard input: is " "$work/err" || fail "no refusal of $input on standard input ($way)"
    done
done
[ "$(ls "$work/kinds")" = "diary.txt
empty.txt" ] || fail "a refused sealing left files: $(ls "$work/kinds")"
run 0 "$cli" seal --raw --password-file "$pw" "$work/kinds/diary.txt" "$work/kinds/raw.qlx"
run 1 "$cli" check --password-file "$pw" "$work/kinds/raw.qlx"
grep -q "raw.qlx: does not open: wrong password, or the file was sealed with another cipher or digest: now rijndael/ripemd160" \
    "$work/err" || fail "check of raw bytes: $(cat "$work/err")"
run 0 "$cli" unseal --raw --password-file "$pw" "$work/kinds/raw.qlx" "$work/kinds/back.txt"
cmp -s "$work/kinds/back.txt" "$work/kinds/diary.txt" || fail "unseal --raw of bytes sealed with --raw"
grep -q "warning: the result is neither an editor file nor compressed data" "$work/err" || fail "no warning from unseal --raw"
run 0 "$cli" seal --raw --password-file "$pw" - "$work/kinds/in.qlx" <"$work/kinds/empty.txt"
run 0 "$cli" seal --raw --compress --password-file "$pw" - "$work/kinds/inz.qlx" <"$work/kinds/diary.txt"
[ "$("$cli" check --password-file "$pw" "$work/kinds/inz.qlx")" = "opens: compressed content, 9 bytes" ] ||
    fail "check of compressed raw bytes"

# Passwords from a command (its first line), and a password file others may read.
sample="$data/rijndael_ripemd160_70000.qlx"
run 0 "$cli" check --password-command "cat '$pw'; echo a second line" "$sample" >/dev/null
run 1 "$cli" check --password-command "echo wrong; cat '$pw'" "$sample"
grep -q "wrong password, or the file was sealed with another cipher or digest" "$work/err" || fail "the password command's second line was taken"
run 1 "$cli" check --password-command "cat '$pw'; exit 3" "$sample"
grep -q "the password command failed (exit code 3)" "$work/err" || fail "a failing password command"
run 1 "$cli" check --password-command "true" "$sample"
grep -q "printed no password" "$work/err" || fail "a password command that prints nothing"
run 2 "$cli" check --password-command "true" --password-file "$pw" "$sample"
grep -q "not private" "$work/err" && fail "a private password file warned"
cp "$pw" "$work/open-pw"
chmod 644 "$work/open-pw"
run 0 "$cli" check --password-file "$work/open-pw" "$sample" >/dev/null
grep -q "Warning: the password file .*open-pw is not private" "$work/err" || fail "no warning for a readable password file"
if [ "$(id -u)" -eq 0 ]; then
    # A private file of someone else's holds a password that person knows too.
    cp "$pw" "$work/their-pw"
    chown 65534 "$work/their-pw"
    run 0 "$cli" check --password-file "$work/their-pw" "$sample" >/dev/null
    grep -q "their-pw is not private: it belongs to another user" "$work/err" ||
        fail "no warning for a password file of another user"
fi

[ "$failures" -eq 0 ] && echo "all seal/unseal checks passed"
exit $((failures != 0))
