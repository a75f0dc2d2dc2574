#!/bin/sh
# What plain text a file system keeps after quillock-cli: on small loop images
# of ext4, xfs and btrfs, an import, a plain and a compressed session with the
# stand-in editor, a session killed while its editor runs and the recover
# that follows, and standard input sealed (seal -), then the raw image
# searched for the text and the edits.
# Usage: residue_test.sh CLI FAKE_EDITOR [FS...] (no FS: ext4 xfs btrfs)
# Needs root, loop devices and mkfs for each file system; exits 77 (skipped)
# with the reason when it cannot run at all.
set -u
cli=$1
editor=$2
shift 2
[ $# -gt 0 ] || set -- ext4 xfs btrfs

skip() {
    echo "residue_test: skipped: $*"
    exit 77
}
[ "$(id -u)" -eq 0 ] || skip "mounting loop images needs root; run the tests as root"
command -v losetup >/dev/null 2>&1 || skip "losetup is not installed"

tmp=$(mktemp -d "${TMPDIR:-/tmp}/residue_test.XXXXXX") || exit 1
mnt=$tmp/mnt
cleanup() {
    mountpoint -q "$mnt" 2>/dev/null && umount "$mnt"
    rm -rf "$tmp"
}
trap cleanup EXIT
# Every mark carries the name of this run, so that what other runs (here or
# in another build at the same time) leave in freed memory is never counted.
run=${tmp##*.}
HOME=$tmp/home
XDG_CONFIG_HOME=$tmp/config
export HOME XDG_CONFIG_HOME
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$mnt"
unset VISUAL EDITOR
# The private folder: a runtime folder of our own in memory.
XDG_RUNTIME_DIR=$(mktemp -d /dev/shm/residue_test.XXXXXX) || exit 1
export XDG_RUNTIME_DIR
trap 'cleanup; rm -rf "$XDG_RUNTIME_DIR"' EXIT

pw=$tmp/password
printf 'secret\n' >"$pw"
chmod 600 "$pw"

failures=0
ran=0
fail() {
    echo "residue_test: $fs: $*" >&2
    failures=$((failures + 1))
}

# text MARK: a plain editor file of 20,000 distinct lines, each carrying MARK.
text() {
    printf 'Arbolix data file\r\n'
    awk -v mark="$1" 'BEGIN { for (i = 1; i <= 20000; i++) printf "%s line %05d of a diary that must not stay on the disk\r\n", mark, i }'
}

# found IMAGE MARK: how many times MARK is in the raw image.
found() {
    grep -a -o -F "$2" "$1" | wc -l
}

# session FOLDER MARK [OPTION...]: an import of a text carrying MARK, a plain
# session that appends MARK-plain and a compressed one that appends
# MARK-compressed, in FOLDER on the mounted image.
session() {
    folder=$1
    mark=$2
    shift 2
    text "$mark" >"$folder/diary.txt" || fail "cannot write the text"
    sync
    "$cli" edit --yes --password-file "$pw" --editor "$editor keep" "$@" "$folder/diary.txt" >"$tmp/import.out" 2>&1 ||
        fail "the import failed: $(cat "$tmp/import.out")"
    "$cli" edit --password-file "$pw" --editor "$editor append=$mark-plain-edit" "$@" "$folder/diary.qlx" \
        >"$tmp/plain.out" 2>&1 || fail "the plain session failed: $(cat "$tmp/plain.out")"
    "$cli" edit --compress --password-file "$pw" --editor "$editor append=$mark-compressed-edit" "$@" \
        "$folder/diary.qlx" >"$tmp/compressed.out" 2>&1 ||
        fail "the compressed session failed: $(cat "$tmp/compressed.out")"
    # A session killed while its editor runs, after the editor saved, then
    # recover seals the left-over working copy and wipes it.
    "$cli" edit --password-file "$pw" --editor "$editor append=$mark-recover-edit signal=9" "$@" \
        "$folder/diary.qlx" >"$tmp/killed.out" 2>&1
    "$cli" recover --password-file "$pw" "$@" "$folder/diary.qlx" >"$tmp/recover.out" 2>&1 ||
        fail "recover failed: $(cat "$tmp/recover.out")"
    "$cli" unseal --password-file "$pw" "$folder/diary.qlx" "$tmp/unsealed" >/dev/null 2>&1 ||
        fail "cannot unseal the result"
    for edit in plain compressed recover; do
        grep -q -F "$mark-$edit-edit" "$tmp/unsealed" || fail "the $edit edit was not sealed"
    done
    rm -f "$tmp/unsealed"
    # Standard input sealed as it streams, compressed and not, read from a
    # file outside the image that is kept until the image has been searched.
    text "$mark-stdin" >"$tmp/$mark-stdin.txt"
    for compress in "" --compress; do
        "$cli" seal --force $compress --password-file "$pw" - "$folder/stdin.qlx" <"$tmp/$mark-stdin.txt" \
            >"$tmp/stdin.out" 2>&1 || fail "seal $compress - failed: $(cat "$tmp/stdin.out")"
    done
    "$cli" unseal --password-file "$pw" "$folder/stdin.qlx" - 2>/dev/null | grep -q -F "$mark-stdin line 20000" ||
        fail "seal - did not seal the whole input"
}

for fs in "$@"; do
    if ! command -v "mkfs.$fs" >/dev/null 2>&1; then
        echo "residue_test: $fs: skipped: mkfs.$fs is not installed"
        continue
    fi
    image=$tmp/$fs.img
    case $fs in
    xfs) size=300M ;; # the smallest xfs that mkfs.xfs makes
    btrfs) size=128M ;;
    *) size=32M ;;
    esac
    truncate -s "$size" "$image"
    if ! "mkfs.$fs" -q "$image" >/dev/null 2>&1 && ! "mkfs.$fs" -f "$image" >/dev/null 2>&1; then
        fail "mkfs.$fs failed"
        continue
    fi
    if ! mount -o loop "$image" "$mnt" 2>"$tmp/mount.err"; then
        echo "residue_test: $fs: skipped: cannot mount a loop image ($(cat "$tmp/mount.err"))"
        rm -f "$image"
        continue
    fi
    ran=$((ran + 1))
    id=$fs$run
    mkdir -m 700 "$mnt/beside" "$mnt/private"
    # Beside the data file where that is safe (ext4, xfs; btrfs with
    # no-copy-on-write on each temporary).
    session "$mnt/beside" "${id}beside"
    grep -q "^Working copy: \"$mnt/beside/diary.qlx.qlt\", beside the data file" "$tmp/plain.out" ||
        fail "the session did not say where the working copy is: $(cat "$tmp/plain.out")"
    if [ "$fs" = btrfs ]; then
        grep -q 'was written in plain text before this import, on btrfs' "$tmp/import.out" ||
            fail "the import did not say that the original's blocks stay: $(cat "$tmp/import.out")"
    fi
    # In the private folder: the original written without copy-on-write too
    # (the import cannot reach its blocks otherwise), so nothing may remain.
    [ "$fs" != btrfs ] || chattr +C "$mnt/private"
    session "$mnt/private" "${id}private" --private-temp
    grep -q "^\(Warning: \)\{0,1\}Working copy: \"$XDG_RUNTIME_DIR/quillock/.*/diary.qlx.qlt\", in a private folder in memory" \
        "$tmp/plain.out" || fail "the working copy was not in the private folder: $(cat "$tmp/plain.out")"
    # The search must find what a plain delete leaves, or it proves nothing
    # (last, so that no session reuses those blocks).
    text "${id}control" >"$mnt/control"
    sync
    rm "$mnt/control"
    umount "$mnt"

    [ "$(found "$image" "${id}control line")" -gt 0 ] || fail "the search does not find a deleted file's text"
    for mark in "${id}private line" "${id}private-plain-edit" "${id}private-compressed-edit" \
        "${id}private-recover-edit" "${id}beside-plain-edit" "${id}beside-compressed-edit" \
        "${id}beside-recover-edit"; do
        count=$(found "$image" "$mark")
        [ "$count" -eq 0 ] || fail "the raw image still holds $count copies of \"$mark\""
    done
    # seal - writes only ciphertext, so no line of its input may be there.
    # Its input comes from a file kept until the search: a pipe's pages are
    # the kernel's, freed unwiped as the reader takes the text, and btrfs
    # wrote such pages into new metadata blocks whichever program read the
    # pipe (2 to 18 lines, in 7 of 420 runs two at a time with seal -, in 4
    # of 310 with dd; never from a file, in 600).
    for mark in "${id}private-stdin line" "${id}beside-stdin line"; do
        count=$(found "$image" "$mark")
        [ "$count" -eq 0 ] || fail "the raw image still holds $count lines of \"$mark\""
    done
    # Where the original was written with copy-on-write, only btrfs may keep it.
    count=$(found "$image" "${id}beside line")
    [ "$count" -eq 0 ] || [ "$fs" = btrfs ] || fail "the raw image still holds $count lines of the imported text"
    rm -f "$image" "$tmp/${id}beside-stdin.txt" "$tmp/${id}private-stdin.txt"
done

[ "$ran" -gt 0 ] || skip "no file system could be made and mounted"
[ "$failures" -eq 0 ] || exit 1
echo "residue_test: ok ($ran file systems)"
