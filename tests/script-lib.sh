# Shared by the test scripts: count failures, check exit statuses.
# Needs $work (a scratch directory) to be set before use.

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Expect exit status $1 from the rest of the command line.
expect_status() {
  local want=$1
  shift
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ "$got" -eq "$want" ] || fail "exit $got, not $want: $* ($(head -c 300 "$work/err"))"
}
