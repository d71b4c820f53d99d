#!/usr/bin/env bash
# qxbuild_test.sh MODE ...: the publisher's build with qxbuild.
#   checks QXBUILD STUB VERSIONED_EXE   refusals, the FileVersion warnings, --old, an
#                                       output in its tree, qxarc on updaters, version
#                                       resources
#   memory QXBUILD STUB                 peak memory of qxbuild and qxpack on a large tree
#   checkout QXBUILD STUB               the same bytes from a stub built in a copy of
#                                       the checkout under a Japanese folder name
#   wine QXBUILD QXBUILD_EXE STUB       the same bytes from qxbuild.exe under Wine
#   signed QXBUILD STUB ROBOT GAMESTUB  signed with throwaway certificates: verifies,
#                                       reproducible, timestamp servers passed on,
#                                       refusals; then installs end to end under Wine
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

builder() { python3 "$here/archive_builder.py" "$@"; }
# The archive inside an updater's payload; names in an archive, one a line
# (code page 932 shown as UTF-8); a plain archive of NAME=SIZE entries (NAME
# raw bytes, SIZE N/M: N bytes held, M claimed).
payload_archive() { builder unpack "$@"; }
archive_names() { builder names "$@"; }
make_archive() { builder archive "$@"; }

mode_checks() {
  local qxbuild=$1 stub=$2 versioned=$3 qxarc
  qxarc=$(dirname "$qxbuild")/qxarc
  local base=(--brand QXTest --title デモ --stub "$stub" -o "$work/out.exe")
  mkdir -p "$work/exes"
  printf 'MZ no version\n' >"$work/exes/PLAIN.EXE"
  cp "$versioned" "$work/exes/NEW.EXE"
  make_archive "$work/index.qrb" --count 16777215 --cut 8
  make_archive "$work/far.qrb" a.txt=3 b.txt=0/1048576
  make_archive "$work/up.qrb" 'x\..\..\evil.txt=1'
  make_archive "$work/drive.qrb" 'c:evil.txt=1'
  make_archive "$work/sibling.qrb" 'sub\~qxnew~.tmp=1'
  make_archive "$work/case.qrb" a.txt=1 A.TXT=2
  make_archive "$work/both.qrb" "$(printf '\x83\x5c\x95\x5c=1')" "$(printf '\x83\x5c\x95\x5c\\\x94\x5c.txt=1')"
  make_archive "$work/long.qrb" "$(printf 'n%.0s' {1..64})=1"
  make_archive "$work/sjis.qrb" $'\x85\x40.txt=1'
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
both.qrb|entries need ソ表 both as a file and as a folder (ソ表\能.TXT)
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
a file and a folder are one name on Windows: 表A and 表a\十^表A*表a/十
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

  # --old against a previous tree: a changed executable whose FileVersion
  # goes down ships with a warning; a file that becomes a folder, or the
  # reverse, is refused naming both trees' files; a fault in OLDDIR names it.
  # Status|text|old files (v1002)|new files (v1001).
  local v1002 row status text olds news f
  v1002=$(dirname "$versioned")/v1002.exe
  while IFS='|' read -r status text olds news; do
    row=$work/row && rm -rf "$row" && mkdir -p "$row/old" "$row/new"
    for f in $olds; do mkdir -p "$(dirname "$row/old/$f")" && cp "$v1002" "$row/old/$f"; done
    for f in $news; do mkdir -p "$(dirname "$row/new/$f")" && cp "$versioned" "$row/new/$f"; done
    text=${text//OLD/$row/old} && text=${text//NEW/$row/new}
    expect_status "$status" "$qxbuild" "${base[@]}" --from "$row/new" --old "$row/old"
    [ "$(wc -l <"$work/err")" -eq 1 ] && grep -qF -- "$text" "$work/err" ||
      fail "--old $olds -> $news: want '$text', got: $(cat "$work/err")"
  done <<'END'
0|warning: ソ表\GAME.EXE: FileVersion "1, 0, 0, 1" is lower than "1, 0, 0, 2" in the old tree (OLD/ソ表/GAME.EXE)|ソ表/GAME.EXE|ソ表/GAME.EXE
1|能十 is a file in the old tree (OLD/能十) but a folder in the new tree (holding NEW/能十/A.DAT)|能十|能十/A.DAT
1|能十 is a file in the new tree (NEW/能十) but a folder in the old tree (holding OLD/能十/A.DAT)|能十/A.DAT|能十
1|in the old tree OLD: the updater refuses the name 申/CON: it is a Windows device name|申/CON|A.DAT
END

  # An updater written into its own tree, twice: each time its payload is the
  # tree without it, as qxarc reads it back; no scratch file stays behind.
  local self=$work/self/ソ表 n
  mkdir -p "$self" && cp -r "$tree"/. "$work/self/"
  for n in 1 2; do
    expect_status 0 "$qxbuild" --brand QXTest --title デモ --stub "$stub" --from "$work/self" \
      -o "$self/UPDATE.EXE"
    rm -rf "$work/x" && "$qxarc" extract "$self/UPDATE.EXE" "$work/x" && diff -r "$tree" "$work/x" >&2 ||
      fail "run $n: the payload of an updater built into its tree is not the tree"
  done
  [ "$(ls "$self")" = UPDATE.EXE ] || fail "scratch files left: $(ls "$self")"

  # qxarc reads an updater as it reads the archive of its tree, and says what
  # a file is when it is no archive. Status|text|file.
  "$qxarc" create "$tree" "$work/tree.qrb" &&
    diff <("$qxarc" list "$work/tree.qrb") <("$qxarc" list "$self/UPDATE.EXE") >&2 ||
    fail "qxarc list of an updater"
  python3 -c 'import sys; b = bytearray(open(sys.argv[1], "rb").read())
at = b.index(b"__packtmp__.tmp\0") + 1040; b[at] ^= 0xFF; open(sys.argv[2], "wb").write(b)' \
    "$self/UPDATE.EXE" "$work/damaged.exe"
  head -c 300000 "$self/UPDATE.EXE" >"$work/cut.exe"
  while IFS='|' read -r status text f; do
    expect_status "$status" "$qxarc" verify "$f"
    [ -z "$text" ] || grep -qF -- "$text" "$work/out" "$work/err" || fail "qxarc verify $f: no '$text'"
  done <<END
0||$self/UPDATE.EXE
1|is neither an archive nor an updater|$here/qxbuild_test.sh
1|without an update payload|$stub
1|the updater refuses its payload: the stream is damaged|$work/damaged.exe
1|damaged resource directory|$work/cut.exe
END

  # A folder and a file that cannot be read, named as they are (as another
  # user when root, who reads everything).
  local as=()
  [ "$(id -u)" -ne 0 ] || as=(runuser -u nobody --)
  mkdir -p "$work/locked/ソ表" && printf x >"$work/locked/十.txt" && chmod -R a+rX "$work" &&
    chmod 000 "$work/locked/ソ表"
  expect_status 1 "${as[@]}" "$qxbuild" --brand B --title T --from "$work/locked" --stub "$stub" \
    -o "$work/o.exe" --check
  grep -qF "cannot list $work/locked/ソ表: Permission denied" "$work/err" || fail "$(cat "$work/err")"
  chmod 755 "$work/locked/ソ表" && chmod 000 "$work/locked/十.txt"
  expect_status 1 "${as[@]}" "$qxbuild" --brand B --title T --from "$work/locked" --stub "$stub" \
    -o "$work/o.exe" --check
  grep -qF "cannot read $work/locked/十.txt (no permission" "$work/err" || fail "$(cat "$work/err")"

  # --help, and --check on a stub that is none.
  expect_status 0 "$qxbuild" --help
  grep -q '^exit status: 0 built' "$work/out" || fail "--help: $(head -2 "$work/out")"
  expect_status 1 "$qxbuild" --brand B --title T --from "$tree" --stub "$versioned" -o "$work/o.exe" --check
  grep -q 'stub: no updater string table' "$work/err" || fail "--check a non-stub: $(cat "$work/err")"

  # The updater's version resource as the resource compiler reads it back;
  # none when none is asked for.
  expect_status 0 "$qxbuild" "${base[@]}" --from "$tree" --file-version 1.2.3.40 \
    --version-info ProductName=デモ表 --version-info CompanyName=QX
  i686-w64-mingw32-windres -i "$work/out.exe" -O rc >"$work/rc" 2>&1
  grep -q 'FILEVERSION 1, 2, 3, 40' "$work/rc" && grep -q '"FileVersion", "1, 2, 3, 40"' "$work/rc" &&
    grep -qF '"ProductName", L"\x30c7\x30e2\x8868"' "$work/rc" || fail "version resource: $(cat "$work/rc")"
  expect_status 0 "$qxbuild" "${base[@]}" --from "$tree"
  i686-w64-mingw32-windres -i "$work/out.exe" -O rc | grep -q VERSIONINFO && fail "a version resource unasked"
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
  # Folder names outside code page 932 (Korean, an emoji), for the tree and
  # for the output: the command line is read as UTF-16.
  cp -r "$tree" "$prefix/drive_c/t/한국어😀"
  mkdir -p "$prefix/drive_c/t/출력"
  qx_wine "$prefix" 'C:\t\qxbuild.exe' --brand QXTest --title デモゲーム --from 'C:\t\한국어😀' \
    -o 'C:\t\출력\out.exe' 2>"$work/wine.err"
  cmp "$work/linux.exe" "$prefix/drive_c/t/출력/out.exe" >&2 ||
    fail "qxbuild.exe from a Korean folder: $(grep qxbuild "$work/wine.err")"
  sha256sum "$work/linux.exe" "$prefix/drive_c/t/out.exe"
  qx_end_prefix "$prefix"
}

# Peak memory (maximum resident set) of qxbuild and qxpack on 96 MiB of
# incompressible files: the tools hold neither the archive nor the payload,
# so they stay within 64 MiB and the deflate's buffers (5 MiB a thread;
# sanitizer overhead included), where holding either once would pass it and
# the builders before held about six copies. The payload read back is the tree.
mode_memory() {
  local qxbuild=$1 stub=$2 qxpack qxarc tool kib limit
  qxpack=$(dirname "$qxbuild")/qxpack qxarc=$(dirname "$qxbuild")/qxarc
  mkdir -p "$work/tree/ソ表"
  for f in A.DAT ソ表/B.DAT ソ表/C十.DAT; do head -c 33554432 /dev/urandom >"$work/tree/$f"; done
  limit=$((64 * 1024 + 5 * 1024 * $(nproc)))
  peak() {  # runs "$@", prints the child's peak resident set in KiB
    python3 -c 'import resource, subprocess, sys
status = subprocess.call(sys.argv[1:])
print(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss if status == 0 else "failed")' "$@"
  }
  for tool in qxbuild qxpack; do
    if [ $tool = qxbuild ]; then
      kib=$(peak "$qxbuild" --brand B --title T --from "$work/tree" --stub "$stub" -o "$work/out.exe")
    else
      kib=$(peak "$qxpack" --from "$work/tree" "$work/payload.bin")
    fi
    echo "$tool: peak $kib KiB (limit $limit KiB)"
    [ "$kib" != failed ] && [ "$kib" -le "$limit" ] || fail "$tool: peak $kib KiB, limit $limit KiB"
  done
  "$qxarc" extract "$work/out.exe" "$work/back" && diff -r "$work/tree" "$work/back" >&2 ||
    fail "the payload is not the tree"
  # Stopped by SIGTERM halfway (a pipeline giving up): no file is left.
  "$qxbuild" --brand B --title T --from "$work/tree" --stub "$stub" -o "$work/stop.exe" &
  local pid=$! waited
  for waited in $(seq 100); do [ -e "$work/stop.exe.tmp" ] && break; sleep 0.1; done
  kill -TERM $pid && wait $pid
  "$qxarc" create "$work/tree" "$work/stop.qrb" --encipher 5 >/dev/null &
  pid=$!
  for waited in $(seq 100); do [ -e "$work/stop.qrb.partial" ] && break; sleep 0.1; done
  kill -TERM $pid && wait $pid
  [ -z "$(ls "$work"/stop.* 2>/dev/null)" ] || fail "left after SIGTERM: $(ls "$work"/stop.*)"
  python3 -c 'import sys, zlib; p = open(sys.argv[1], "rb").read()
sys.stdout.buffer.write(zlib.decompress(p[40:]))' "$work/payload.bin" | cmp - <(
    python3 -c 'import sys, zlib; image = open(sys.argv[1], "rb").read()
at = image.index(b"__packtmp__.tmp\0"); n = int.from_bytes(image[at + 36:at + 40], "little")
sys.stdout.buffer.write(zlib.decompress(image[at + 40:at + 40 + n]))' "$work/out.exe") ||
    fail "qxpack and qxbuild pack the tree unlike each other"
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
  # A PFX without a password; with SOURCE_DATE_EPOCH the same bytes twice.
  openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/open.pfx" \
    -passout pass: || fail "openssl"
  local sign=(--brand QXTest --title デモゲーム --from "$tree" --stub "$stub" --sign) n
  for n in 1 2; do
    SOURCE_DATE_EPOCH=1700000000 expect_status 0 "$qxbuild" "${sign[@]}" "$work/open.pfx" \
      -o "$work/same$n.exe"
    sleep 1
  done
  cmp -s "$work/same1.exe" "$work/same2.exe" || fail "two signings at one SOURCE_DATE_EPOCH differ"
  osslsigncode verify -CAfile "$work/cert.pem" -in "$work/same1.exe" 2>&1 |
    grep -q '^Signature verification: ok' || fail "verify the PFX without a password"

  # --timestamp reaches the signer (no network here: a signer of our own
  # first on PATH records its arguments), with the signing time.
  mkdir -p "$work/bin"
  printf '#!/bin/sh\necho "$*" >"%s/args"\nwhile [ "$1" != -in ]; do shift; done\ncp "$2" "$4"\n' \
    "$work" >"$work/bin/osslsigncode" && chmod +x "$work/bin/osslsigncode"
  PATH=$work/bin:$PATH SOURCE_DATE_EPOCH=5 expect_status 0 "$qxbuild" "${sign[@]}" "$work/open.pfx" \
    --timestamp http://ts1.invalid/ --timestamp http://ts2.invalid/ -o "$work/ts.exe"
  grep -q -- '-ts http://ts1.invalid/ -ts http://ts2.invalid/ -time 5 ' "$work/args" ||
    fail "timestamp arguments: $(cat "$work/args")"

  # Refusals in plain words, before or after the build; none leaves a file.
  # Text|signing arguments.
  printf wrong >"$work/bad.txt"
  local text args
  while IFS='|' read -r text args; do
    text=${text//\$work/$work}
    # shellcheck disable=SC2086 # the arguments are words by design
    expect_status 1 "$qxbuild" "${sign[@]}" $(eval echo "$args") -o "$work/bad.exe"
    grep -qF -- "$text" "$work/err" || fail "$args: want '$text', got $(cat "$work/err")"
    [ ! -e "$work/bad.exe" ] && ! ls "$work"/bad.exe.* >/dev/null 2>&1 ||
      fail "a failed signing left files: $(ls "$work")"
  done <<'END'
the password in $work/bad.txt does not open $work/cert.pfx|$work/cert.pfx --pass-file $work/bad.txt
the password in $work/bad.txt does not open $work/cert.pfx|$work/cert.pfx --pass-file $work/bad.txt --check
$work/cert.pfx needs a password (--pass-file FILE)|$work/cert.pfx
no certificate file (PKCS#12) to read at $work/none.pfx|$work/none.pfx --check
$work/pass.txt is no PKCS#12 (.pfx) file|$work/pass.txt
END
  payload_archive "$work/signed.exe" "$work/signed.qrb" || fail "payload of the signed updater"
  "$(dirname "$qxbuild")/qxarc" list "$work/signed.exe" | cut -f4 | diff - <(archive_names \
    "$work/signed.qrb" | tr a-z A-Z) >&2 || fail "qxarc list of a signed updater"
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
  checks | memory | checkout | wine | signed | names) "mode_$mode" "$@" ;;
  *) echo "usage: qxbuild_test.sh checks|memory|checkout|wine|signed|names ..." >&2; exit 2 ;;
esac
[ $failures -eq 0 ]
