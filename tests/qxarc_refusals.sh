#!/usr/bin/env bash
# qxarc_refusals.sh QXARC: every input that qxarc must refuse, one table row
# each (exit status, a text the output must hold, the command), then what a
# refusal must leave behind: no extracted file, an earlier archive intact.
set -u
qxarc=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-refusals.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8
. "$(dirname "$0")/script-lib.sh"
w=$work

# handmade OUT NAME...: a plain archive with one entry "x" per name (bytes as given).
handmade() { python3 "$(dirname "$0")/archive_builder.py" archive "$@"; }

mkdir -p "$w/src/sub" "$w/linked" "$w/fifo" "$w/self"
echo a >"$w/src/a.txt"
echo bb >"$w/src/sub/b.txt"
"$qxarc" create "$w/src" "$w/enc.qrb" --encipher 7 || fail "create of the good tree"
head -c $(($(stat -c %s "$w/enc.qrb") - 3)) "$w/enc.qrb" >"$w/enc-cut.qrb"
handmade "$w/dotdot.qrb" '..\x'
handmade "$w/drive.qrb" 'C:\x'
handmade "$w/root.qrb" '\x'
handmade "$w/empty-name.qrb" ''
handmade "$w/slash.qrb" 'a/b.txt'
handmade "$w/clash.qrb" $'\x82\x81\\b.txt' $'\x82\x60\\b.txt'  # full-width a and A
handmade "$w/file-and-dir.qrb" 'a' 'a\b'
handmade "$w/short.qrb" --cut 4
handmade "$w/index-beyond.qrb" --count 1000 a
echo f >"$w/linked/f.txt"
ln -s f.txt "$w/linked/l.txt"
mkfifo "$w/fifo/pipe"
echo kept >"$w/keep.qrb"

# status|text in stdout or stderr|command line (word-split; $w is the work directory)
table=$(
  cat <<'EOF'
2|usage: qxarc list|
0|exit status: 0 success|--help
2|usage: qxarc list|list
2|usage: qxarc list|frobnicate x
2|not a 32-bit seed: 0x0x5|create $w/src $w/out.qrb --encipher 0x0x5
2|not a 32-bit seed: 0x|create $w/src $w/out.qrb --encipher 0x
2|not a 32-bit seed: 1x|create $w/src $w/out.qrb --encipher 1x
1|entry 0: the updater refuses the name ..\X|verify $w/dotdot.qrb
1|entry 0: the updater refuses the name C:\X|verify $w/drive.qrb
1|entry 0: the updater refuses the name \X|verify $w/root.qrb
1|entry 0: the updater refuses the name|verify $w/empty-name.qrb
1|the updater refuses the name ..\X|extract $w/dotdot.qrb $w/x/in
1|the updater refuses the name C:\X|extract $w/drive.qrb $w/x/in
1|the updater refuses the name \X|extract $w/root.qrb $w/x/in
1|the updater refuses the name|extract $w/empty-name.qrb $w/x/in
1|entry 0: the updater refuses the name A/B.TXT|verify $w/slash.qrb
1|entries 0 and 1 land on the same file Ａ/B.TXT|verify $w/clash.qrb
1|entries 0 and 1 land on the same file Ａ/B.TXT; entry 1 not extracted|extract $w/clash.qrb $w/x/clash
1|entries 0 and 1 need A as a file and as a directory|verify $w/file-and-dir.qrb
1|entry 2: data at|extract $w/enc-cut.qrb $w/x/cut
1|lies outside the file|extract $w/enc-cut.qrb $w/x/cut
1|the file is shorter than the 8-byte header|list $w/short.qrb
1|the index reaches beyond the end of the file|list $w/index-beyond.qrb
1|index truncated: 1000 entries need 72008 bytes|verify $w/index-beyond.qrb
1|the file cannot be opened or read|list $w/missing.qrb
1|the file cannot be opened or read|extract $w/src $w/x/dir
1|not a regular file (symbolic link): |create $w/linked $w/keep.qrb
1|not a regular file (FIFO): |create $w/fifo $w/keep.qrb --encipher 5
EOF
)
while IFS='|' read -r status text args; do
  # shellcheck disable=SC2086 # the arguments are words by design
  expect_status "$status" "$qxarc" $(eval echo "$args")
  grep -qF -- "$text" "$work/out" "$work/err" ||
    fail "qxarc $args: no '$text' in: $(cat "$work/out" "$work/err" | head -c 300)"
done <<<"$table"

# Refused entries leave no file, the others are written; of two that clash
# only the first.
[ -z "$(find "$w/x/in" -type f 2>/dev/null)" ] || fail "a refused name was written: $(find "$w/x/in")"
[ "$(cd "$w/x/clash" && find . -type f)" = ./ａ/B.TXT ] || fail "clash: $(find "$w/x/clash")"
[ "$(cd "$w/x/cut" && find . -type f)" = ./A.TXT ] || fail "cut: $(find "$w/x/cut")"
[ "$(cat "$w/keep.qrb")" = kept ] || fail "a failed create removed or changed the earlier archive"
[ -z "$(find "$w" -name '*.partial')" ] || fail "a scratch file stayed behind"
[ ! -e "$w/out.qrb" ] || fail "a refused seed wrote an archive"

# An archive written into its own tree never holds an earlier copy of itself.
echo s >"$w/self/s.txt"
expect_status 0 "$qxarc" create "$w/self" "$w/self/out.qrb"
cp "$w/self/out.qrb" "$w/first.qrb"
expect_status 0 "$qxarc" create "$w/self" "$w/self/out.qrb"
cmp -s "$w/first.qrb" "$w/self/out.qrb" || fail "the second create into the tree differs"
expect_status 0 "$qxarc" list "$w/self/out.qrb"
[ "$(cut -f4 "$work/out")" = S.TXT ] || fail "own output listed: $(cat "$work/out")"

[ "$failures" -eq 0 ] && echo "qxarc refusals: all checks passed"
[ "$failures" -eq 0 ]
