#!/usr/bin/env bash
# archive_cipher_roundtrip.sh QXARC: one tree goes into a plain archive and
# into an enciphered one (`create --encipher`); both must list the same names
# and sizes and extract to identical trees, while the enciphered archive holds
# neither the names nor the whole blocks of the contents in the clear.
set -u
qxarc=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-cipher-roundtrip.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export LC_ALL=C

. "$(dirname "$0")/script-lib.sh"

# Sizes around the block length (0-40 bytes, so 5, 8 and 13 among them) and
# names whose code page 932 bytes include ASCII letters as second bytes
# (ツ 0x83 0x63, デ 0x83 0x66) and backslashes (表 0x95 0x5C).
src=$work/src
dirs=("" "データ" "表示/ツール" "lower_case/Mixed" "n0_9")
marker="THIS TEXT MUST NOT SHOW IN THE ENCIPHERED ARCHIVE."
count=0
for i in $(seq 0 299); do
  d=${dirs[$((i % ${#dirs[@]}))]}
  path=$src/${d:+$d/}file_${i}_ツデ.dat
  [ -d "$src/$d" ] || mkdir -p "$src/$d"
  size=$((i % 41))
  printf '%s' "${marker}${marker}" | head -c "$size" >"$path"
  count=$((count + 1))
done
printf '%s' "$marker$marker$marker" >"$src/marker.txt"   # 150 bytes: 18 blocks + 6
head -c 2097157 /dev/urandom >"$src/データ/big.bin"         # several read buffers, odd tail
count=$((count + 2))

plain=$work/plain.qrb
ciphered=$work/ciphered.qrb
expect_status 0 "$qxarc" create "$src" "$plain"
expect_status 0 "$qxarc" create "$src" "$ciphered" --encipher 0x1234ABCD
expect_status 0 "$qxarc" create "$src" "$work/decimal.qrb" --encipher 305441741
cmp -s "$ciphered" "$work/decimal.qrb" || fail "decimal and hexadecimal seeds differ"
expect_status 0 "$qxarc" create "$src" "$work/other.qrb" --encipher 7
cmp -s "$ciphered" "$work/other.qrb" && fail "two seeds give the same archive"

[ $(($(stat -c %s "$ciphered") - $(stat -c %s "$plain"))) -eq 144 ] ||
  fail "the key entry should add one index entry and its copy"
grep -qa "file_" "$ciphered" && fail "entry names show in the clear"
grep -qa "MUST NOT SHOW" "$ciphered" && fail "whole blocks show in the clear"
grep -qa "MUST NOT SHOW" "$plain" || fail "the plain archive lacks the marker text"

expect_status 0 "$qxarc" list "$plain"
cut -f3,4 "$work/out" >"$work/plain.list"
expect_status 0 "$qxarc" list "$ciphered"
[ "$(head -1 "$work/out")" = $'0\t'"$((8 + 72 * (count + 1) + 72))"$'\t305441741\t__key__.dat' ] ||
  fail "key entry line: $(head -1 "$work/out")"
tail -n +2 "$work/out" | cut -f3,4 >"$work/ciphered.list"
[ "$(wc -l <"$work/plain.list")" -eq "$count" ] || fail "plain list has $(wc -l <"$work/plain.list") lines"
cmp -s "$work/plain.list" "$work/ciphered.list" ||
  fail "lists differ: $(diff "$work/plain.list" "$work/ciphered.list" | head -5)"

expect_status 0 "$qxarc" extract "$plain" "$work/from-plain"
expect_status 0 "$qxarc" extract "$ciphered" "$work/from-ciphered"
diff -r "$work/from-plain" "$work/from-ciphered" >"$work/diff" ||
  fail "extracted trees differ: $(head -5 "$work/diff")"
[ ! -e "$work/from-ciphered/__key__.dat" ] || fail "the key entry was extracted"
cmp -s "$src/marker.txt" "$work/from-ciphered/MARKER.TXT" || fail "marker.txt differs"
cmp -s "$src/データ/big.bin" "$work/from-ciphered/データ/BIG.BIN" || fail "big.bin differs"
[ "$(find "$work/from-ciphered" -type f | wc -l)" -eq "$count" ] || fail "not every entry extracted"

expect_status 0 "$qxarc" extract "$ciphered" "$work/one" "表示/ツール/file_2_ツデ.dat"
cmp -s "$src/表示/ツール/file_2_ツデ.dat" "$work/one/表示/ツール/FILE_2_ツデ.DAT" ||
  fail "extract of one named entry"

expect_status 0 "$qxarc" verify "$ciphered"
head -c $(($(stat -c %s "$ciphered") - 3)) "$ciphered" >"$work/short.qrb"
expect_status 1 "$qxarc" verify "$work/short.qrb"
grep -q "outside the file" "$work/out" || fail "verify of a short enciphered archive: $(cat "$work/out")"

# An archive of no files is the key entry alone.
mkdir -p "$work/empty"
expect_status 0 "$qxarc" create "$work/empty" "$work/empty.qrb" --encipher 0xFFFFFFFF
expect_status 0 "$qxarc" list "$work/empty.qrb"
[ "$(cat "$work/out")" = $'0\t152\t4294967295\t__key__.dat' ] || fail "key-only list: $(cat "$work/out")"
expect_status 0 "$qxarc" verify "$work/empty.qrb"

for bad in 0x100000000 4294967296 abc -1 0x "" 12x " 5"; do
  expect_status 2 "$qxarc" create "$src" "$work/bad.qrb" --encipher "$bad"
done
[ ! -e "$work/bad.qrb" ] || fail "a refused seed still wrote an archive"
expect_status 2 "$qxarc" create "$src" "$work/bad.qrb" --encipher

[ "$failures" -eq 0 ] && echo "enciphered archive round trip: $count files, all checks passed"
[ "$failures" -eq 0 ]
