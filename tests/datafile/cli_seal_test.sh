#!/bin/sh
# End-to-end tests of "quillock-cli seal" and "quillock-cli unseal" against
# the independently computed fixtures. Usage: cli_seal_test.sh CLI DATA_DIR
set -u
cli=$1
data=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# expect_code CODE COMMAND...: runs the command, stderr to $work/err.
expect_code() {
    want=$1
    shift
    "$@" 2>"$work/err"
    got=$?
    [ "$got" -eq "$want" ] || fail "exit $got, wanted $want: $* ($(cat "$work/err"))"
}

# A private copy of the password (a checked-out file is readable by all).
pw="$work/password.txt"
cp "$data/password.txt" "$pw"
chmod 600 "$pw"

# Unsealing: plain content, and compressed content that is decompressed.
expect_code 0 "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" "$work/plain"
cmp -s "$work/plain" "$data/plain_70000.txt" || fail "unseal of a plain content"
[ "$(stat -c %a "$work/plain")" = 600 ] || fail "plain output is not owner-only"
expect_code 0 "$cli" unseal --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" "$work/plain2"
cmp -s "$work/plain2" "$data/plain_70000.txt" || fail "unseal of a compressed content"
expect_code 0 "$cli" unseal --raw --password-file "$pw" "$data/rijndael_ripemd160_compressed_70000.qlx" "$work/raw"
cmp -s "$work/raw" "$data/compressed_70000.qlz" || fail "unseal --raw"
ls "$work" | grep -q '\.ql[tz]$' && fail "temporary files left after unsealing"

# Sealing matches the fixture byte for byte; the password comes from a descriptor.
expect_code 0 "$cli" seal --cipher blowfish --hash sha1 --password-fd 3 \
    "$data/plain_8193.txt" "$work/bf.qlx" 3<"$pw"
cmp -s "$work/bf.qlx" "$data/blowfish_sha1_8193.qlx" || fail "seal with Blowfish and SHA-1"
expect_code 0 "$cli" seal --password-file "$pw" "$data/plain_17.txt" "$work/r.qlx"
cmp -s "$work/r.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "seal with the default choices"

# Compressed sealing comes back through unseal; nothing plain is left beside it.
expect_code 0 "$cli" seal --compress --hash sha1 --password-file "$pw" "$data/plain_70000.txt" "$work/c.qlx"
[ -e "$work/c.qlx.qlz" ] && fail "compressed temporary left after sealing"
expect_code 0 "$cli" unseal --raw --hash sha1 --password-file "$pw" "$work/c.qlx" "$work/c.raw"
python3 -c 'import sys,zlib; sys.exit(zlib.decompress(open(sys.argv[1],"rb").read()) != open(sys.argv[2],"rb").read())' \
    "$work/c.raw" "$data/plain_70000.txt" || fail "seal --compress does not hold a zlib stream of the content"
expect_code 0 "$cli" unseal --hash sha1 --password-file "$pw" "$work/c.qlx" "$work/c.plain"
cmp -s "$work/c.plain" "$data/plain_70000.txt" || fail "round trip of seal --compress"

# A wrong password or cipher: the decryption error, exit 1, nothing left.
printf 'wrong\n' >"$work/wrong"
expect_code 1 "$cli" unseal --password-file "$work/wrong" "$data/rijndael_ripemd160_70000.qlx" "$work/bad"
grep -q "Decryption Error!" "$work/err" || fail "no decryption error message"
expect_code 1 "$cli" unseal --cipher blowfish --password-file "$pw" "$data/rijndael_ripemd160_70000.qlx" "$work/bad"
[ -e "$work/bad" ] || [ -e "$work/bad.qlt" ] || [ -e "$work/bad.qlz" ] && fail "files left after a wrong password"

# A sealing that fails leaves the old data file as it was.
cp "$data/rijndael_ripemd160_17.qlx" "$work/keep.qlx"
expect_code 1 "$cli" seal --password-file "$pw" "$work/missing" "$work/keep.qlx"
cmp -s "$work/keep.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "failed sealing changed the data file"

# Passwords: a character without a Windows-1252 byte is refused; no terminal, no password.
printf '\316\251mega\n' >"$work/omega"
expect_code 1 "$cli" seal --password-file "$work/omega" "$data/plain_5.txt" "$work/o.qlx"
grep -q "Windows-1252" "$work/err" || fail "no message for a password outside Windows-1252"
[ -e "$work/o.qlx" ] && fail "sealed with a refused password"
if command -v setsid >/dev/null; then
    expect_code 1 setsid -w "$cli" unseal "$data/rijndael_ripemd160_5.qlx" "$work/t" </dev/null
    grep -q "password-file" "$work/err" || fail "no hint when there is no terminal"
fi

# Usage errors.
expect_code 2 "$cli" seal "$data/plain_5.txt"
expect_code 2 "$cli" seal --cipher des --password-file "$pw" "$data/plain_5.txt" "$work/x"
expect_code 2 "$cli" unseal --compress --password-file "$pw" a b
expect_code 2 "$cli" unseal --password-file "$pw" --password-fd 0 a b
expect_code 2 "$cli" unseal --raw --password-file "$pw" "$work/r.qlx" "$work/r.qlx"
cmp -s "$work/r.qlx" "$data/rijndael_ripemd160_17.qlx" || fail "unsealing onto itself damaged the file"

[ "$failures" -eq 0 ] && echo "all seal/unseal checks passed"
exit $((failures != 0))
