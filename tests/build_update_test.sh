#!/usr/bin/env bash
# build_update_test.sh checks|build BUILD_ROOT
#   checks: bad input is refused with one line, before anything is built
#           (by $QX_QXBUILD when set).
#   build:  one real build (reusing BUILD_ROOT); exit 77 (skipped) without the
#           cross compiler or the updater's entry point.
set -u
here=$(cd "$(dirname "$0")" && pwd)
script=$here/../scripts/build-update
mode=$1
root=$2
export QX_UPDATE_BUILD_ROOT=$root
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
data=$here/data/payload

# expect_refusal TEXT ARGS...: exit 1 with one stderr line containing TEXT.
expect_refusal() {
  local text=$1
  shift
  "$script" "$@" 2>"$work/err" >/dev/null
  local status=$?
  local lines
  lines=$(wc -l <"$work/err")
  if [ $status -ne 1 ] || [ "$lines" -ne 1 ] || ! grep -qF -- "$text" "$work/err"; then
    echo "FAIL: expected '$text' (status 1, one line) for: $*" >&2
    echo "  got status $status: $(cat "$work/err")" >&2
    failures=$((failures + 1))
  fi
}

expect_accepted() {
  if ! "$script" "$@" --check 2>"$work/err"; then
    echo "FAIL: refused: $* -- $(cat "$work/err")" >&2
    failures=$((failures + 1))
  fi
}

repeat() { local s="" i; for ((i = 0; i < $2; i++)); do s+=$1; done; printf '%s' "$s"; }

checks() {
  local out=$work/out.exe ok=(--brand QXSoft --title "デモ" -o "$work/out.exe")
  expect_refusal "missing -o OUT.exe" --brand B --title T --from "$data"
  expect_refusal "-o needs a value" --brand B --title T --from "$data" -o
  expect_refusal "unknown option --bogus" --brand B --title T --from "$data" -o "$out" --bogus
  expect_refusal "--brand given twice" --brand B --brand C --title T --from "$data" -o "$out"
  expect_refusal "--timestamp needs --sign" "${ok[@]}" --from "$data" --timestamp http://ts.invalid
  SOURCE_DATE_EPOCH=12x expect_refusal "SOURCE_DATE_EPOCH is not a number" "${ok[@]}" --from "$data"
  expect_refusal "no such directory or archive" "${ok[@]}" --from "$work/missing"
  expect_refusal "output directory does not exist" --brand B --title T --from "$data" \
    -o "$work/none/out.exe"

  mkdir -p "$work/latin" && : >"$work/latin/caf$(printf '\xc3\xa9').txt"
  expect_refusal "name has no code page 932 form" "${ok[@]}" --from "$work/latin"
  local name63
  name63="sub/$(repeat ア 28)abc"  # 4 + 56 + 3 = 63 bytes
  mkdir -p "$work/long/sub" && : >"$work/long/$name63"
  expect_accepted "${ok[@]}" --from "$work/long"
  : >"$work/long/${name63}d"
  expect_refusal "name longer than 63 bytes" "${ok[@]}" --from "$work/long"
  mkdir -p "$work/empty/sub"
  expect_refusal "no files below" "${ok[@]}" --from "$work/empty"

  python3 "$here/archive_builder.py" archive "$work/empty.qrb"
  expect_refusal "archive has no entry" "${ok[@]}" --from "$work/empty.qrb"
  printf 'PK\3\4' >"$work/other.zip"
  expect_refusal "not an archive" "${ok[@]}" --from "$work/other.zip"

  local a=(--from "$data" -o "$out")
  expect_refusal "brand is empty" --brand "" --title T "${a[@]}"
  expect_refusal "brand has no code page 932 form" --brand "Caf$(printf '\xc3\xa9')" --title T "${a[@]}"
  expect_refusal "title has no code page 932 form" --brand B --title "$(printf '\xf0\x9f\x98\x80')" "${a[@]}"
  expect_refusal "brand must be one line" --brand $'two\nlines' --title T "${a[@]}"
  expect_accepted --brand "$(repeat ア 129)a" --title T "${a[@]}"  # 259 bytes
  expect_refusal "brand is 260 bytes" --brand "$(repeat ア 130)" --title T "${a[@]}"
  expect_accepted --brand B --title "$(repeat x 259)" "${a[@]}"
  expect_refusal "title is 260 bytes" --brand B --title "$(repeat x 260)" "${a[@]}"
  expect_refusal "brand cannot be part of a file name" --brand "A\\B" --title T "${a[@]}"
  expect_refusal "title cannot be part of a file name" --brand B --title "能\"予\"" "${a[@]}"
  expect_refusal "title has no code page 932 form" --brand B --title "価格¥100" "${a[@]}"
  expect_refusal "brand cannot be part of a file name" --brand "a:b" --title T "${a[@]}"

  if ls -d "$root"/update-* >/dev/null 2>&1; then
    echo "FAIL: a refusal left a build directory in $root" >&2
    failures=$((failures + 1))
  fi
}

build() {
  command -v i686-w64-mingw32-g++-posix >/dev/null || exit 77
  [ -f "$here/../app/main_win32.cpp" ] || exit 77
  local out=$work/update.exe
  if ! "$script" --brand "ソフト表" --title "能ゲーム" --from "$data" -o "$out"; then
    echo "FAIL: build-update failed" >&2
    exit 1
  fi
  [ "$(head -c 2 "$out")" = MZ ] || { echo "FAIL: $out is no executable" >&2; exit 1; }
  # The strings and the payload as the resource compiler reads them back.
  i686-w64-mingw32-windres -i "$out" -O rc -o "$work/back.rc" || exit 1
  grep -qF 'L"\x30bd\x30d5\x30c8\x8868"' "$work/back.rc" || { echo "FAIL: brand" >&2; exit 1; }
  grep -qF 'L"\x80fd\x30b2\x30fc\x30e0"' "$work/back.rc" || { echo "FAIL: title" >&2; exit 1; }
  grep -qF '"DATA" "UPDATEDATA"' "$work/back.rc" || { echo "FAIL: payload" >&2; exit 1; }
  # An archive past what an updater takes is refused by the packer before the
  # product build (a sparse file: nothing is read).
  python3 "$here/archive_builder.py" archive "$work/big.qrb" && truncate -s 2147483648 "$work/big.qrb"
  expect_refusal "more than an updater takes" --brand B --title T --from "$work/big.qrb" \
    -o "$work/big.exe"
}

case $mode in
  checks) checks ;;
  build) build ;;
  *) echo "usage: build_update_test.sh checks|build BUILD_ROOT" >&2; exit 2 ;;
esac
[ $failures -eq 0 ]
