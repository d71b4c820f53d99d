#!/usr/bin/env bash
# qxpack_test.sh QXPACK QXARC|- DATA_DIR [WINDOWS_QXPACK]
# The packer's command line: bad input gives status 1, one line and no output
# file; packing is reproducible, and an archive packs like the tree it came
# from. With WINDOWS_QXPACK, the Windows build (under Wine) must write the
# same bytes as QXPACK.
set -u
qxpack=$1
qxarc=$2
data=$3
winpack=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
chmod 777 "$work"  # the Windows packer may run as the unprivileged Wine user
trap 'rm -rf "$work"' EXIT
failures=0
bad() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

expect_refusal() {
  local text=$1
  shift
  "$qxpack" "$@" 2>"$work/err"
  local status=$?
  if [ $status -ne 1 ] || [ "$(wc -l <"$work/err")" -ne 1 ] || ! grep -qF -- "$text" "$work/err"; then
    bad "expected '$text' for: $* (status $status: $(cat "$work/err"))"
  fi
  [ -e "$work/out.bin" ] && bad "output left behind for: $*"
  rm -f "$work/out.bin"
}

mkdir -p "$work/empty"
printf 'not an archive' >"$work/text.txt"
expect_refusal usage
expect_refusal usage "$work/text.txt"
expect_refusal usage --from "$data"
expect_refusal usage --bogus "$work/text.txt" "$work/out.bin"
expect_refusal "cannot open" "$work/missing" "$work/out.bin"
expect_refusal "is a directory" "$data" "$work/out.bin"
expect_refusal "not a directory" --from "$work/missing" "$work/out.bin"
expect_refusal "no files below" --from "$work/empty" "$work/out.bin"
expect_refusal "no QRB magic" "$work/text.txt" "$work/out.bin"
# Past what an updater takes (2 GiB - 1): refused before a byte is read or
# compressed, so sparse files serve.
python3 "$here/archive_builder.py" archive "$work/big.qrb" && truncate -s 2147483648 "$work/big.qrb"
expect_refusal "more than an updater takes" "$work/big.qrb" "$work/out.bin"
mkdir -p "$work/big" && truncate -s 2147483500 "$work/big/BIG.DAT"  # + 152 bytes of archive
expect_refusal "the updater's limit" --from "$work/big" "$work/out.bin"
rm -rf "$work/big" "$work/big.qrb"

"$qxpack" --help | grep -q '^usage: qxpack' || bad "--help"
# A payload written into its own tree, twice: it never packs itself or its
# scratch files, so both are the same bytes.
cp -r "$data" "$work/self"
"$qxpack" --from "$work/self" "$work/self/ソ表.bin" && cp "$work/self/ソ表.bin" "$work/first.bin" &&
  "$qxpack" --from "$work/self" "$work/self/ソ表.bin" && cmp -s "$work/first.bin" "$work/self/ソ表.bin" &&
  [ "$(ls "$work/self" | grep -c bin)" -eq 1 ] || bad "a payload packed into its own tree"

"$qxpack" --from "$data" "$work/a.bin" || bad "packing $data failed"
"$qxpack" --from "$data" "$work/b.bin" || bad "packing $data again failed"
cmp -s "$work/a.bin" "$work/b.bin" || bad "two packs of the same tree differ"
[ "$(head -c 15 "$work/a.bin")" = "__packtmp__.tmp" ] || bad "header name"
[ "$(od -An -tx1 -j40 -N2 "$work/a.bin" | tr -d ' ')" = 78da ] || bad "stream header"
packed=$(od -An -tu4 -j36 -N4 "$work/a.bin" | tr -d ' ')
[ "$packed" -eq $(($(stat -c %s "$work/a.bin") - 40)) ] || bad "packed size field"

if [ "$qxarc" != - ]; then
  "$qxarc" create "$data" "$work/tree.qrb" >/dev/null || bad "qxarc create failed"
  "$qxpack" "$work/tree.qrb" "$work/c.bin" || bad "packing the archive failed"
  cmp -s "$work/a.bin" "$work/c.bin" || bad "the archive packs unlike its tree"
fi
if [ -n "$winpack" ]; then
  export QX_WINE_TEMPLATE
  "$here/../scripts/wine-run" "$winpack" --from "$data" "$work/w.bin" >/dev/null 2>"$work/wine-err"
  case $? in
    0) cmp -s "$work/a.bin" "$work/w.bin" || bad "the Windows packer wrote other bytes" ;;
    77) cat "$work/wine-err" >&2; [ $failures -eq 0 ] && exit 77 ;;
    *) bad "the Windows packer failed" ;;
  esac
fi
[ $failures -eq 0 ]
