# What the seal and fault shell tests of the terminal tool share, sourced
# after they set $data and $work: the failure count, the private copy of the
# test password, and running a command with a time limit and checking its
# exit code.
failures=0

fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# private_password FILE: $pw is FILE, a copy of the test data's password
# readable by its owner only (a checked-out file is readable by all, which
# earns a warning line on every run).
private_password() {
    pw=$1
    cp "$data/password.txt" "$pw"
    chmod 600 "$pw"
}

# run CODE COMMAND...: runs the command with a time limit (nothing may wait
# for ever), stderr to $work/err, and checks the exit code.
run() {
    want=$1
    shift
    timeout 30 "$@" 2>"$work/err"
    got=$?
    [ "$got" -eq 124 ] && fail "timed out: $*"
    [ "$got" -eq "$want" ] || fail "exit $got, wanted $want: $* ($(cat "$work/err"))"
}
