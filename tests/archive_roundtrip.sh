#!/usr/bin/env bash
# archive_roundtrip.sh QXARC: a tree of several hundred files with Japanese
# names goes through `qxarc create` and `qxarc extract` and must come back
# whole, with the names as the reader lists them (ASCII letters upper-cased).
set -u
qxarc=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-roundtrip.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

. "$(dirname "$0")/script-lib.sh"

# Names mix kanji and kana whose second bytes in code page 932 are ASCII
# letters (ツ 0x83 0x63, ッ 0x83 0x62, デ 0x83 0x66) or a backslash
# (表 0x95 0x5C, ソ 0x83 0x5C, 能 0x94 0x5C), lower-case ASCII and digits.
src=$work/src
dirs=("" "データ" "データ/サブ" "表示" "ソフト/能力" "ツール/ッd" "mixed_dir/ファイル群")
stems=("ファイル" "ﾊﾝｶｸ" "ソース" "ツッ" "readme")
text=$(head -c 3000 /dev/urandom | od -An -tx1 | tr -d ' \n')
count=0
for i in $(seq 0 419); do
  d=${dirs[$((i % ${#dirs[@]}))]}
  name="${stems[$((i % 5))]}_${i}_abc.txt"
  path=$src/${d:+$d/}$name
  [ -d "$src/$d" ] || mkdir -p "$src/$d"
  if [ $((i % 9)) -eq 0 ]; then
    : >"$path"
  elif [ $((i % 4)) -eq 0 ]; then
    head -c $(((i * 37) % 3000 + 1)) /dev/urandom >"$path"
  else  # no process per file: text with NUL bytes from the shell itself
    printf '%s\0%s' "${text:0:$((i * 13 % 2000))}" "${text:$((i % 50)):$((i % 7))}" >"$path"
  fi
  count=$((count + 1))
done
head -c 3000000 /dev/urandom >"$src/データ/big.bin"  # more than one read buffer
count=$((count + 1))

archive=$work/a.qrb
expect_status 0 "$qxarc" create "$src" "$archive"
expect_status 0 "$qxarc" create "$src" "$work/b.qrb"
cmp -s "$archive" "$work/b.qrb" || fail "two archives of the same tree differ"

expect_status 0 "$qxarc" list "$archive"
[ "$(wc -l <"$work/out")" -eq "$count" ] || fail "list shows $(wc -l <"$work/out") entries, not $count"
grep -q $'^0\t'"$((8 + 72 * count + 72))"$'\t[0-9]*\t' "$work/out" ||
  fail "list line of the first entry: $(head -1 "$work/out")"
# Names as the reader lists them: backslash separators.
grep -qF $'\t3000000\tデータ\\BIG.BIN' "$work/out" || fail "list does not show the big file"
! cut -f4 "$work/out" | grep -qF / || fail "list shows a '/' separator"
grep -qF $'\tデータ\\サブ\\ソース_2_ABC.TXT' "$work/out" || fail "list does not show a nested name"

out=$work/out-tree
expect_status 0 "$qxarc" extract "$archive" "$out"
(cd "$src" && find . -type f | tr 'a-z' 'A-Z' | sort) >"$work/expected"
(cd "$out" && find . -type f | sort) >"$work/got"
cmp -s "$work/expected" "$work/got" || fail "extracted names differ: $(diff "$work/expected" "$work/got" | head -5)"
# Contents by digest, upper-cased whole on both sides: the digests alike,
# the names as the reader lists them.
digests() { (cd "$1" && find . -type f -print0 | xargs -0 sha256sum | tr 'a-z' 'A-Z' | sort); }
digests "$src" >"$work/expected"
digests "$out" >"$work/got"
cmp -s "$work/expected" "$work/got" || fail "extracted contents differ: $(diff "$work/expected" "$work/got" | head -5)"
cmp -s "$src/データ/big.bin" "$out/データ/BIG.BIN" || fail "the big file differs"

# Only the entries asked for, the names given in any case.
expect_status 0 "$qxarc" extract "$archive" "$work/some" "表示/ツッ_3_abc.txt" "データ/big.bin"
[ "$(cd "$work/some" && find . -type f | sort | tr '\n' ' ')" = "./データ/BIG.BIN ./表示/ツッ_3_ABC.TXT " ] ||
  fail "extract of named entries: $(cd "$work/some" && find . -type f)"
expect_status 1 "$qxarc" extract "$archive" "$work/none" "no/such.txt"

expect_status 0 "$qxarc" verify "$archive"
size=$(stat -c %s "$archive")
head -c $((size - 10)) "$archive" >"$work/short.qrb"
expect_status 1 "$qxarc" verify "$work/short.qrb"
grep -q "outside the file" "$work/out" || fail "verify of a short archive: $(cat "$work/out")"
head -c 100 "$archive" >"$work/cut-index.qrb"
expect_status 1 "$qxarc" verify "$work/cut-index.qrb"
grep -q "index truncated" "$work/out" || fail "verify of a cut index: $(cat "$work/out")"
head -c 5 "$archive" >"$work/cut-header.qrb"
expect_status 1 "$qxarc" verify "$work/cut-header.qrb"
grep -q "header truncated" "$work/out" || fail "verify of a cut header: $(cat "$work/out")"

# A hand-made archive: one entry per name given, each holding "x" (a name of
# 64 bytes fills its field without a NUL).
handmade() { python3 "$(dirname "$0")/archive_builder.py" archive "$@"; }

# The tests' Python builder lays archives out as qxarc create does, byte for
# byte (names with 0x5C second bytes at both ends of a folder and a file).
mkdir -p "$work/same/ソ表"
printf x >"$work/same/ソ表/能予.txt"
printf x >"$work/same/十申"
expect_status 0 "$qxarc" create "$work/same" "$work/same.qrb"
handmade "$work/built.qrb" "$(printf 'ソ表\\能予.txt' | iconv -f UTF-8 -t CP932)" \
  "$(printf '十申' | iconv -f UTF-8 -t CP932)"
cmp -s "$work/same.qrb" "$work/built.qrb" || fail "the Python builder and qxarc create differ"
for bad in '..\evil.txt' 'a\..\..\evil.txt' '\evil.txt' 'C:evil.txt'; do
  handmade "$work/evil.qrb" "$bad"
  expect_status 1 "$qxarc" extract "$work/evil.qrb" "$work/jail/inner"
  [ -z "$(find "$work/jail" -type f 2>/dev/null)" ] || fail "extract wrote a file for $bad"
  [ ! -e "$work/evil.txt" ] && [ ! -e "$work/jail/evil.txt" ] || fail "extract escaped with $bad"
  rm -rf "$work/jail"
done
handmade "$work/dup.qrb" 'same.txt' 'SAME.TXT' "$(printf 'n%.0s' $(seq 64))"
expect_status 1 "$qxarc" verify "$work/dup.qrb"
grep -q "entries 0 and 1 share the name SAME.TXT" "$work/out" || fail "verify of equal names: $(cat "$work/out")"
grep -q "entry 2: name is not NUL-terminated" "$work/out" || fail "verify of a full name field: $(cat "$work/out")"
handmade "$work/fine.qrb" 'a.txt' 'b.txt'
expect_status 0 "$qxarc" verify "$work/fine.qrb"

expect_status 2 "$qxarc"
expect_status 2 "$qxarc" list
expect_status 2 "$qxarc" frobnicate x
expect_status 2 "$qxarc" create only-one
expect_status 1 "$qxarc" list "$work/missing.qrb"

[ "$failures" -eq 0 ] && echo "archive round trip: $count files, all checks passed"
[ "$failures" -eq 0 ]
