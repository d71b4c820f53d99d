#!/usr/bin/env bash
# qxbuild_test.sh MODE ...: the publisher's build with qxbuild.
#   checks QXBUILD STUB VERSIONED_EXE   refusals, the FileVersion warning, --old
#   checkout QXBUILD STUB               the same bytes from a stub built in a copy of
#                                       the checkout under a Japanese folder name
#   wine QXBUILD QXBUILD_EXE STUB       the same bytes from qxbuild.exe under Wine
#   signed QXBUILD STUB ROBOT GAMESTUB  signed with a throwaway certificate: verifies,
#                                       then installs end to end under Wine
#   names QXBUILD STUB ROBOT GAMESTUB VERSIONED_EXE
#                                       Japanese names installed end to end under Wine
set -u
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
mode=$1
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
. "$here/script-lib.sh"
tree=$here/e2e/data/update

# The archive inside an updater's payload, from its 40-byte header on.
payload_archive() {
  python3 - "$1" "$2" <<'EOF'
import struct, sys, zlib
image = open(sys.argv[1], "rb").read()
at = image.index(b"__packtmp__.tmp\0")
unpacked, packed = struct.unpack_from("<II", image, at + 32)
archive = zlib.decompress(image[at + 40:at + 40 + packed])
assert len(archive) == unpacked
open(sys.argv[2], "wb").write(archive)
EOF
}

# Names in an archive, one a line (code page 932 shown as UTF-8).
archive_names() {
  python3 - "$1" <<'EOF'
import struct, sys
a = open(sys.argv[1], "rb").read()
for i in range(struct.unpack_from("<I", a, 4)[0]):
    print(a[8 + 72 * i:8 + 72 * i + 64].split(b"\0")[0].decode("cp932"))
EOF
}

# make_archive OUT NAME=SIZE...: a plain archive; NAME may hold \xNN escapes, a
# SIZE of "far" puts the entry beyond the end of the file.
make_archive() {
  python3 - "$@" <<'EOF'
import struct, sys
out, specs = sys.argv[1], sys.argv[2:]
entries = [(n.encode("utf-8").decode("unicode_escape").encode("latin-1"), s)
           for n, s in (x.rsplit("=", 1) for x in specs)]
index, data = [], b""
offset = 8 + 72 * len(entries)
for name, size in entries:
    body = b"" if size == "far" else bytes(int(size))
    length = 1 << 20 if size == "far" else len(body)
    record = name.ljust(64, b"\0")[:64] + struct.pack("<II", offset + 72, length)
    index.append(record)
    data += record + body
    offset += 72 + len(body)
open(out, "wb").write(b"QRB\0" + struct.pack("<I", len(entries)) + b"".join(index) + data)
EOF
}

mode_checks() {
  local qxbuild=$1 stub=$2 versioned=$3
  local base=(--brand QXTest --title デモ --stub "$stub" -o "$work/out.exe")
  mkdir -p "$work/exes"
  printf 'MZ no version\n' >"$work/exes/PLAIN.EXE"
  cp "$versioned" "$work/exes/NEW.EXE"
  printf 'QRB\0\377\377\377\0' >"$work/index.qrb"
  make_archive "$work/far.qrb" a.txt=3 b.txt=far
  make_archive "$work/up.qrb" 'x\\..\\..\\evil.txt=1'
  make_archive "$work/drive.qrb" 'c:evil.txt=1'
  make_archive "$work/sibling.qrb" 'sub\\~qxnew~.tmp=1'
  make_archive "$work/case.qrb" a.txt=1 A.TXT=2
  make_archive "$work/long.qrb" "$(printf 'n%.0s' {1..64})=1"
  make_archive "$work/sjis.qrb" '\x85\x40.txt=1'
  make_archive "$work/enciphered.qrb" __key__.dat=0 a.txt=1
  make_archive "$work/none.qrb"
  truncate -s 2147483648 "$work/huge.qrb"

  # Each refusal: exit 1, one line naming the fault, no output file.
  refused() {
    rm -f "$work/out.exe"
    "$qxbuild" "${base[@]}" --from "$1" >/dev/null 2>"$work/err"
    local status=$? lines
    lines=$(wc -l <"$work/err")
    if [ $status -ne 1 ] || [ "$lines" -ne 1 ] || ! grep -qF -- "$2" "$work/err" ||
      [ -e "$work/out.exe" ] || ls "$work"/out.exe.* >/dev/null 2>&1; then
      fail "$1: want '$2' (status 1, one line, no output); got $status: $(cat "$work/err")"
    fi
  }
  while IFS='|' read -r source text; do refused "$work/$source" "$text"; done <<'EOF'
index.qrb|archive does not open
far.qrb|entry lies outside the archive file: B.TXT
up.qrb|the updater refuses the name X\..\..\EVIL.TXT: a part of it is
drive.qrb|the updater refuses the name C:EVIL.TXT: it holds a character Windows forbids
sibling.qrb|the updater refuses the name SUB\~QXNEW~.TMP: it is one of the updater's own
case.qrb|two entries are one file on Windows (names equal but for case): A.TXT and A.TXT
long.qrb|name longer than 63 bytes
sjis.qrb|no code page 932 form
enciphered.qrb|archive is enciphered
none.qrb|archive has no entry
huge.qrb|more than an updater takes
EOF

  # A tree of each name that no player's Windows holds as it stands: the text
  # first, then the tree's names ('*' between two).
  local n=0 names text name list
  while IFS='^' read -r text names; do
    n=$((n + 1))
    IFS='*' read -ra list <<<"$names"
    for name in "${list[@]}"; do
      name=$(printf '%b' "$name")
      mkdir -p "$(dirname "$work/trees/$n/$name")"
      printf x >"$work/trees/$n/$name"
    done
    refused "$work/trees/$n" "$text"
  done <<'EOF'
refuses the name ソ/a?b表: it holds a character Windows forbids^ソ/a?b表
character Windows forbids^a"b
character Windows forbids^a<b
character Windows forbids^a>b
refuses the name ポ|b: it holds a character Windows forbids^ポ|b
character Windows forbids^a\001b
refuses the name CON: it is a Windows device name^CON
refuses the name 表/NUL.TXT: it is a Windows device name^表/NUL.TXT
Windows device name^com1.dat
Windows device name^AUX/a.txt
refuses the name readme.txt.: a part of it ends in a dot or a blank^readme.txt.
ends in a dot or a blank^能 /readme.txt
refuses the name install.log: it is one of the updater's own files^install.log
one of the updater's own files^__updatetmp__.tmd
one of the updater's own files^~QXNEW~.TMP/A.TXT
one of the updater's own files^十/~qx0001.tmp
one file on Windows (names equal but for case): Ｘ.txt and ｘ.txt^ｘ.txt*Ｘ.txt
one file on Windows^α*Α
one file on Windows^д申*Д申
one file on Windows^readme.txt*README.TXT
no code page 932 form that reads back as itself: data¥stage.dat^data¥stage.dat
no code page 932 form that reads back as itself^x‾y.txt
no code page 932 form that reads back as itself^予〜.txt
refuses the name 纊.txt: it holds a character the updater cannot read^纊.txt
EOF
  rm -rf "$work/trees"

  # An executable without a FileVersion is shipped, with one warning line.
  expect_status 0 "$qxbuild" "${base[@]}" --from "$work/exes"
  [ "$(wc -l <"$work/err")" -eq 1 ] && grep -q 'warning: PLAIN.EXE: executable without a FileVersion' \
    "$work/err" || fail "FileVersion warning: $(cat "$work/err")"

  # --old: only new and changed files, what the new tree lacks on stderr,
  # the same bytes every time.
  mkdir -p "$work/old/sub" "$work/new/sub"
  printf same >"$work/old/same.txt" && printf same >"$work/new/same.txt"
  printf v1 >"$work/old/sub/changed.dat" && printf v2 >"$work/new/sub/changed.dat"
  printf gone >"$work/old/gone.txt" && printf gone >"$work/old/sub/消えた.txt"
  printf new >"$work/new/新しい.txt"
  expect_status 0 "$qxbuild" "${base[@]}" --from "$work/new" --old "$work/old"
  printf 'qxbuild: only in %s (the updater cannot delete it): %s\n' \
    "$work/old" gone.txt "$work/old" 'sub\消えた.txt' | diff - "$work/err" >&2 ||
    fail "--old: removed files"
  payload_archive "$work/out.exe" "$work/patch.qrb"
  printf '%s\n' 'sub\changed.dat' 新しい.txt | diff - <(archive_names "$work/patch.qrb") >&2 ||
    fail "--old: payload names"
  cp "$work/out.exe" "$work/first.exe"
  expect_status 0 "$qxbuild" "${base[@]}" --from "$work/new" --old "$work/old"
  cmp -s "$work/first.exe" "$work/out.exe" || fail "--old: output differs between runs"
  expect_status 1 "$qxbuild" "${base[@]}" --from "$work/new" --old "$work/new"
  grep -q 'no file of .* is new or changed' "$work/err" || fail "--old: identical trees"
}

# The updater that the Linux qxbuild stamps with the test inputs.
stamp_linux() {
  "$1" --brand QXTest --title デモゲーム --from "$tree" --stub "$2" -o "$work/linux.exe"
}

mode_wine() {
  local qxbuild=$1 exe=$2 stub=$3
  . "$here/wine-env.sh"
  stamp_linux "$qxbuild" "$stub" || { fail "qxbuild"; return; }
  # qxbuild.exe under Wine, its stub beside it.
  local prefix
  prefix=$(qx_new_prefix) || { fail "no Wine prefix"; return; }
  mkdir -p "$prefix/drive_c/t"
  cp "$exe" "$stub" "$prefix/drive_c/t/"
  cp -r "$tree" "$prefix/drive_c/t/データ"
  qx_wine "$prefix" 'C:\t\qxbuild.exe' --brand QXTest --title デモゲーム --from 'C:\t\データ' \
    -o 'C:\t\out.exe' 2>"$work/wine.err"
  cmp "$work/linux.exe" "$prefix/drive_c/t/out.exe" >&2 ||
    fail "qxbuild.exe under Wine gives other bytes: $(grep qxbuild "$work/wine.err")"
  sha256sum "$work/linux.exe" "$prefix/drive_c/t/out.exe"
  qx_end_prefix "$prefix"
}

# The stub from a copy of the checkout under a Japanese folder name, built
# like the stub at hand: the same stub, so the same updater.
mode_checkout() {
  local qxbuild=$1 stub=$2
  local copy="$work/チェックアウト/qx" cache type
  stamp_linux "$qxbuild" "$stub" || { fail "qxbuild"; return; }
  mkdir -p "$copy" "$work/hosttools"
  (cd "$repo" && cp -r CMakeLists.txt cmake app archive support resources tools "$copy/")
  ln -s "$qxbuild" "$work/hosttools/qxbuild"
  ln -s "$(dirname "$qxbuild")/qxpack" "$work/hosttools/qxpack"
  cache=$(dirname "$(dirname "$stub")")/CMakeCache.txt  # BUILD/tools/qxupdate-stub.exe
  type=$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$cache")
  if ! cmake -S "$copy" -B "$copy/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$copy/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE="$type" -DQX_TESTS=OFF -DQX_HOST_TOOLS_DIR="$work/hosttools" >"$work/log" 2>&1 ||
    ! cmake --build "$copy/build" --target qxupdate_stub >>"$work/log" 2>&1; then
    tail -20 "$work/log" >&2
    fail "product build in a Japanese-named folder"
    return
  fi
  "$qxbuild" --brand QXTest --title デモゲーム --from "$tree" \
    --stub "$copy/build/tools/qxupdate-stub.exe" -o "$work/copy.exe" || fail "qxbuild on the copy's stub"
  cmp "$work/linux.exe" "$work/copy.exe" >&2 || fail "a checkout elsewhere gives other bytes"
  sha256sum "$work/linux.exe" "$work/copy.exe" "$stub" "$copy/build/tools/qxupdate-stub.exe"
}

mode_signed() {
  local qxbuild=$1 stub=$2 robot=$3 gamestub=$4
  command -v osslsigncode >/dev/null && command -v openssl >/dev/null || exit 77
  printf 'secret\n' >"$work/pass.txt"
  openssl req -x509 -newkey rsa:2048 -nodes -subj /CN=qxtest -days 2 -keyout "$work/key.pem" \
    -out "$work/cert.pem" 2>/dev/null &&
    openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
      -passout "file:$work/pass.txt" || { fail "openssl"; return; }
  expect_status 0 "$qxbuild" --brand QXTest --title デモゲーム --from "$tree" --stub "$stub" \
    --sign "$work/cert.pfx" --pass-file "$work/pass.txt" -o "$work/signed.exe"
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed.exe" >"$work/verify" 2>&1
  grep -q '^Signature verification: ok' "$work/verify" && ! grep -q MISMATCH "$work/verify" ||
    fail "verify: $(cat "$work/verify")"
  printf wrong >"$work/bad.txt"
  expect_status 1 "$qxbuild" --brand QXTest --title デモゲーム --from "$tree" --stub "$stub" \
    --sign "$work/cert.pfx" --pass-file "$work/bad.txt" -o "$work/bad.exe"
  [ ! -e "$work/bad.exe" ] || fail "a failed signing left its output"
  payload_archive "$work/signed.exe" "$work/signed.qrb" || fail "payload of the signed updater"
  [ $failures -eq 0 ] || return
  "$here/e2e/scenarios.sh" good "$work/signed.exe" "$robot" "$gamestub"
  case $? in
    0) ;;
    77) exit 77 ;;  # no Wine here
    *) fail "install" ;;
  esac
}

# Names that begin and end in characters whose trail byte is 0x5C (ソ 表 能
# 十 予 申), from a tree through qxbuild, installed by the stamped updater into
# an install directory that ends in one.
mode_names() {
  local qxbuild=$1 stub=$2 robot=$3 gamestub=$4 versioned=$5 name
  for name in ソ表/能data十.txt ソ表/十申 予/ソ/表能 予/ソ/x.dat 申.dat 能 十表/ソ.exe; do
    mkdir -p "$(dirname "$work/tree/$name")"
    if [ "${name##*.}" = exe ]; then cp "$versioned" "$work/tree/$name"; else
      printf '%s\n' "$name" >"$work/tree/$name"; fi
  done
  expect_status 0 "$qxbuild" --brand QXTest --title デモゲーム --from "$work/tree" --stub "$stub" \
    -o "$work/names.exe"
  [ $failures -eq 0 ] || return
  QX_E2E_TREE=$work/tree "$here/e2e/scenarios.sh" names "$work/names.exe" "$robot" "$gamestub"
  case $? in
    0) ;;
    77) exit 77 ;;
    *) fail "install" ;;
  esac
}

case $mode in
  checks | checkout | wine | signed | names) "mode_$mode" "$@" ;;
  *) echo "usage: qxbuild_test.sh checks|checkout|wine|signed|names ..." >&2; exit 2 ;;
esac
[ $failures -eq 0 ]
