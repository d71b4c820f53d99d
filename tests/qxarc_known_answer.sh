#!/usr/bin/env bash
# qxarc_known_answer.sh FIXTURES COMMAND...: `COMMAND list` and `COMMAND
# extract` (COMMAND being qxarc, or a runner and qxarc.exe) of the enciphered
# archive FIXTURES/enciphered/sample.qrb, written by an implementation that
# shares no code with this one, must give the listing and the SHA-256 of each
# entry that its expected.tsv holds. Skips (77) without the fixture.
set -u
fixture=$1/enciphered
shift
if [ ! -f "$fixture/sample.qrb" ] || [ ! -f "$fixture/expected.tsv" ]; then
  echo "SKIPPED: no known-answer fixture in $fixture" >&2
  exit 77
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-known-answer.XXXXXX") || exit 1
chmod 777 "$work"  # a Windows qxarc may run as the unprivileged Wine user
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# Windows programs end their lines with CR LF.
"$@" list "$fixture/sample.qrb" >"$work/list.raw" 2>"$work/err"
status=$?
[ $status -ne 77 ] || { cat "$work/err" >&2; exit 77; }
[ $status -eq 0 ] || fail "list: exit $status: $(cat "$work/err")"
tr -d '\r' <"$work/list.raw" >"$work/list"
grep -v '^#' "$fixture/expected.tsv" | awk -F'\t' -v OFS='\t' '{ print $1, $2, $3, $5 }' >"$work/expected"
diff -u "$work/expected" "$work/list" >&2 || fail "the listing differs from expected.tsv"

"$@" extract "$fixture/sample.qrb" "$work/x" >/dev/null 2>"$work/err" ||
  fail "extract: $(cat "$work/err")"
rows=0
while IFS=$'\t' read -r index _ _ digest name; do
  [ "$digest" != - ] || continue
  rows=$((rows + 1))
  got=$(sha256sum <"$work/x/${name//\\//}" 2>/dev/null | cut -d' ' -f1)
  [ "$got" = "$digest" ] || fail "entry $index ($name): sha256 ${got:-of nothing}, not $digest"
done < <(grep -v '^#' "$fixture/expected.tsv")
[ "$(find "$work/x" -type f | wc -l)" -eq "$rows" ] || fail "extract wrote $(find "$work/x" -type f | wc -l) files, not $rows"

[ "$failures" -eq 0 ] && echo "known-answer archive: listing and $rows entries as expected"
[ "$failures" -eq 0 ]
