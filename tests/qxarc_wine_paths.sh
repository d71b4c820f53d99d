#!/usr/bin/env bash
# qxarc_wine_paths.sh QXARC_EXE [HOST_QXARC]: the Windows qxarc under Wine
# with paths outside ASCII. A tree holding アイ\Zz.dat is packed, enciphered,
# into 出力.arc inside the tree itself, twice (the second run must not pack the
# first archive), then listed and extracted back; the plain create must list
# the same names. With HOST_QXARC, the host build must write the same bytes.
set -u
here=$(cd "$(dirname "$0")" && pwd)
exe=$1
host=${2:-}
. "$here/wine-env.sh"  # skips (77) where Wine cannot run

prefix=$(qx_new_prefix) || { echo "cannot make a Wine prefix" >&2; exit 125; }
work=$(mktemp -d "${TMPDIR:-/tmp}/qx-wine-paths.XXXXXX") || exit 1
chmod 777 "$work"
trap 'qx_end_prefix "$prefix"; rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
qx_own_prefix "$prefix"
# Console runs need no display; Windows lines end in CR LF.
winarc() {
  (cd "$work" && qx_as_wine_user env WINEPREFIX="$prefix" wine "$exe" "$@") >"$work/out.raw" 2>"$work/err"
  local status=$?
  tr -d '\r' <"$work/out.raw" >"$work/out"
  return $status
}

src=$work/ソース
mkdir -p "$src/アイ"
printf '0123456789abcdefXYZ' >"$src/アイ/Zz.dat"  # two whole blocks and 3 plain bytes
printf 'top' >"$src/表.txt"
chmod -R a+rwX "$work"
if [ -n "$host" ]; then
  "$host" create "$src" "$work/host.arc" --encipher 0x2B7E1516 || fail "host create"
fi

winarc create "$src" "$src/出力.arc" --encipher 0x2B7E1516 || fail "create: $(cat "$work/err")"
[ -f "$src/出力.arc" ] || fail "no 出力.arc; the tree holds: $(cd "$src" && find . | tr '\n' ' ')"
cp "$src/出力.arc" "$work/first.arc" 2>/dev/null
winarc create "$src" "$src/出力.arc" --encipher 0x2B7E1516 || fail "second create: $(cat "$work/err")"
cmp -s "$work/first.arc" "$src/出力.arc" || fail "the second create packed the first archive"
[ -z "$host" ] || cmp -s "$work/host.arc" "$src/出力.arc" || fail "host and Windows archives differ"

winarc list "$src/出力.arc" || fail "list: $(cat "$work/err")"
printf '%s\n' __key__.dat 'アイ\ZZ.DAT' 表.TXT >"$work/names"
cut -f4 "$work/out" | diff -u "$work/names" - >&2 || fail "enciphered listing differs"
winarc extract "$src/出力.arc" "$work/出" || fail "extract: $(cat "$work/err")"
cmp -s "$src/アイ/Zz.dat" "$work/出/アイ/ZZ.DAT" || fail "アイ/ZZ.DAT differs"
cmp -s "$src/表.txt" "$work/出/表.TXT" || fail "表.TXT differs"

rm -f "$src/出力.arc"  # else the plain create rightly packs it
winarc create "$src" "$work/平文.arc" || fail "plain create: $(cat "$work/err")"
winarc list "$work/平文.arc" || fail "plain list: $(cat "$work/err")"
cut -f4 "$work/out" | diff -u <(tail -n +2 "$work/names") - >&2 || fail "plain listing differs"

[ "$failures" -eq 0 ] && echo "qxarc.exe with Japanese paths: all checks passed"
[ "$failures" -eq 0 ]
