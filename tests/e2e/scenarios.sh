#!/usr/bin/env bash
# scenarios.sh SCENARIO UPDATER.EXE ROBOT.EXE GAMESTUB.EXE [SCENARIO ARGUMENTS...]
#
# Runs one end-to-end scenario in a fresh Wine prefix: sets up a demo
# installation and its install-location file as the scenario needs, lets the
# robot drive the updater, and compares every message box the robot saw and
# the install directory afterwards with what the scenario expects.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
. "$here/../wine-env.sh"

prefix=$(qx_new_prefix) || { echo "cannot make a Wine prefix" >&2; exit 125; }
trap 'qx_end_prefix "$prefix"' EXIT
e2e=$prefix/drive_c/e2e
mkdir -p "$e2e"
cp "$2" "$e2e/update.exe"
cp "$3" "$e2e/robot.exe"
cp "$4" "$e2e/gamestub.exe"

brand=QXTest
title=デモゲーム
install_win='C:\ゲーム\デモ'
install=$prefix/drive_c/ゲーム/デモ
work_win="$install_win"'\__updatetmp__.tmd'
work=$install/__updatetmp__.tmd

CAPTION=アップデート
CAPTION_ERROR=アップデートエラー
PROGRESS=アップデート中です。しばらくお待ちください。
GAME_RUNNING=ゲームが起動しています。終了させてから実行してください
CONFIRM=のアップデートを行います。
NOT_INSTALLED=はインストールされていません。アップデートを終了します。
NOT_FOUND=アップデートファイルが見つかりません
NOT_LOADED=アップデートファイルのロードに失敗しました
CREATE_FAILED=作業ファイル作成に失敗しました
SIZE_FAILED=アップデート情報サイズ取得に失敗しました
DAMAGED=アップデートファイルが壊れています
NO_MEMORY=メモリの確保に失敗しました
DONE=アップデートが終了しました
NOT_APPLIED=アップデートは適用されませんでした。ゲームのファイルは変更されていません。

# Checks run in pipelines (subshells) too, so failures are counted in a file.
failures=$(mktemp)
trap 'qx_end_prefix "$prefix"; rm -f "$failures"' EXIT
fail() {
  echo "FAIL [$scenario]: $*" >&2
  echo "$*" >>"$failures"
}

install_demo() {
  mkdir -p "$install"
  cp -a "$here/data/install/." "$install/"
}

# write_location PATH-TEXT [TITLE]: the install-location file, in code page 932.
write_location() {
  mkdir -p "$prefix/drive_c/ProgramData/$brand"
  printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>%s</path></install>\r\n' \
    "$1" | iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/$brand/${2:-$title}.xml"
}

# Every file and directory below the install directory, with sizes and digests.
snapshot() {
  [ -d "$install" ] || { echo "no install directory"; return; }
  (cd "$install" && find . -printf '%y %p %s\n' | LC_ALL=C sort &&
    find . -type f -exec md5sum {} + | LC_ALL=C sort)
}

updater_win='C:\e2e\update.exe'
run_robot() {
  rm -f "$e2e/seen.txt"
  qx_wine "$prefix" 'C:\e2e\robot.exe' --out 'C:\e2e\seen.txt' --timeout $((60 * QX_WINE_SLOWDOWN)) "$@" \
    -- "$updater_win"
  local rc=$?
  [ $rc -eq 0 ] || fail "robot ended with $rc"
  [ -f "$e2e/seen.txt" ] || { fail "robot wrote nothing"; : >"$e2e/seen.txt"; }
  sed 's/^/seen: /' "$e2e/seen.txt"
}

box() { # CAPTION TEXT OWNER ANSWER [WATCH]
  printf 'box\t%s\t%s\towner=%s\tanswer=%s' "$1" "$2" "$3" "$4"
  [ $# -lt 5 ] || printf '\twatch=%s' "$5"
  printf '\n'
}
dialog_seen() { printf 'dialog\tseen\tcentred\t%s\n' "$PROGRESS"; }
dialog_unseen() { printf 'dialog\tunseen\n'; }
exited() { printf 'exit\t0\n'; }

# expect [--any-dialog]: the robot's lines must equal stdin. With
# --any-dialog the dialog line is not compared: with no box owned by the
# dialog, whether the robot caught it on screen is a matter of timing.
expect() {
  local seen
  seen=$(cat "$e2e/seen.txt")
  if [ "${1:-}" = --any-dialog ]; then
    seen=$(grep -v '^dialog	' <<<"$seen")
  fi
  diff -u <(cat) <(printf '%s\n' "$seen") >&2 || fail "message boxes differ"
}

expect_unchanged() {
  [ "$(snapshot)" = "$1" ] || { fail "install directory changed"; diff <(printf '%s\n' "$1") <(snapshot) >&2; }
}

# The title cut, at a character boundary, so that title + suffix fits 259 bytes.
fit_title() {
  python3 -c 'import sys
t, s = sys.argv[1].encode("cp932"), sys.argv[2].encode("cp932")
r = 259 - len(s)
print((t[:r - r % 2] + s).decode("cp932"))' "$1" "$2"
}

refused_while_running() {
  install_demo
  write_location "$install_win"
  local before
  before=$(snapshot)
  run_robot "$@"
  { box "$CAPTION" "$GAME_RUNNING" none OK; dialog_unseen; exited; } | expect
  expect_unchanged "$before"
}

not_installed() {
  run_robot
  { box "$CAPTION" "$title$CONFIRM" none OK; box "$CAPTION" "$title$NOT_INSTALLED" none OK
    dialog_unseen; exited; } | expect
  [ ! -e "$prefix/drive_c/__updatetmp__.tmd" ] || fail "work file made at the drive root"
}

# A failure of the unpack step: the box owned by the dialog, nothing changed.
unpack_refused() { # TEXT [robot options]
  local text=$1
  shift
  install_demo
  write_location "$install_win"
  local before
  before=$(snapshot)
  run_robot --watch "$work_win" "$@"
  { box "$CAPTION" "$title$CONFIRM" none OK absent
    box "$CAPTION_ERROR" "$text" dialog OK absent
    [ "$*" != --close-dialog ] || printf 'close\tignored\n'
    dialog_seen; exited; } | expect
  expect_unchanged "$before"
}

installed() {
  install_demo
  write_location "$install_win"
  local size
  size=$(python3 "$here/make_payload.py" - --tree "$here/data/update" --archive-size)
  run_robot --watch "$work_win"
  { box "$CAPTION" "$title$CONFIRM" none OK absent; box "$CAPTION" "$DONE" dialog OK "$size"
    exited; } | expect --any-dialog
  [ ! -e "$work" ] || fail "work file left behind"
  (cd "$here/data/update" && find . -type f) | while read -r f; do
    cmp -s "$here/data/update/$f" "$install/$f" || fail "$f not installed"
  done
  # One quoted line per written file, sorted, in code page 932 with CR LF.
  printf '"%s\\%s"\r\n' "$install_win" 'DATA\STAGE01.DAT' "$install_win" README.TXT \
    "$install_win" ソフト.TXT | iconv -f UTF-8 -t CP932 >"$e2e/expected.log"
  cmp -s "$e2e/expected.log" "$install/install.log" || fail "install.log differs"
}

# The log the install step starts from: unsorted, with a duplicate, one line
# in lower case, one the update writes again.
old_log() {
  printf '"%s\\%s"\r\n' "$install_win" ZZZ.DAT "$install_win" old.txt "$install_win" ZZZ.DAT \
    "$install_win" README.TXT | iconv -f UTF-8 -t CP932
}

# When the completion box appears the log is already sorted and saved (the
# robot copies it at each box) and the progress dialog is hidden.
completed() { # EXPECTED-LOG-LINES...
  install_demo
  write_location "$install_win"
  old_log >"$install/install.log"
  run_robot --snapshot "$install_win\\install.log" --dialog-state
  { printf 'box\t%s\t%s\towner=none\tanswer=OK\tdialog=none\n' "$CAPTION" "$title$CONFIRM"
    printf 'box\t%s\t%s\towner=dialog\tanswer=OK\tdialog=hidden\n' "$CAPTION" "$DONE"
    exited; } | expect --any-dialog
  printf '"%s\\%s"\r\n' "$@" | iconv -f UTF-8 -t CP932 >"$e2e/expected.log"
  cmp -s "$e2e/expected.log" "$install/install.log" || fail "install.log differs"
  cmp -s "$e2e/expected.log" "$e2e/seen.txt.2" || fail "install.log was not complete at the completion box"
  [ ! -e "$work" ] || fail "work file left behind"
}

# Run from a download folder beside DLLs named as system DLLs, which Wine is
# told to prefer: none is loaded (each would leave NAME.dll.loaded beside
# itself), the update completes and the gate replaces an older executable.
# Then the system's version library lacks the gate's functions: the update
# stops at the executable, neither skipped nor replaced, and nothing changes.
planted_dlls() { # PLANTED-DLL-DIR VERSION-DLL-WIDE-ONLY OLDER-EXE
  local downloads=$prefix/drive_c/ソダウンロード表 f
  mkdir -p "$downloads" && cp "$1"/*.dll "$downloads/"
  mv "$e2e/update.exe" "$downloads/十更新予.exe"
  updater_win='C:\ソダウンロード表\十更新予.exe'
  WINEDLLOVERRIDES="$WINEDLLOVERRIDES;$(cd "$1" && ls -- *.dll | sed 's/\.dll$//' | paste -sd,)=n,b"
  install_demo
  write_location "$install_win"
  cp "$3" "$install/GAME.EXE"
  run_robot
  { box "$CAPTION" "$title$CONFIRM" none OK; box "$CAPTION" "$DONE" dialog OK; exited; } |
    expect --any-dialog
  cmp -s "$3" "$install/GAME.EXE" && fail "GAME.EXE not replaced by the newer one"

  # The prefix's system DLLs are links into the template: unlinked, not written.
  rm "$prefix/drive_c/windows/system32/version.dll"
  cp "$2" "$prefix/drive_c/windows/system32/version.dll"
  cp "$3" "$install/GAME.EXE"
  run_robot
  { box "$CAPTION" "$title$CONFIRM" none OK
    box "$CAPTION_ERROR" "ファイル $install_win\\GAME.EXE の更新に失敗しました | $NOT_APPLIED" dialog OK
    exited; } | expect --any-dialog
  cmp -s "$3" "$install/GAME.EXE" || fail "GAME.EXE replaced without a version read"
  (cd "$here/data/update" && find . -type f) | while read -r f; do
    cmp -s "$here/data/update/$f" "$install/$f" || fail "$f not installed"
  done
  for f in "$downloads"/*.loaded; do
    [ ! -e "$f" ] || fail "loaded from beside the updater: $(basename "$f" .loaded)"
  done
}

case $scenario in
  game_running) refused_while_running --hold QN5MUTEXOBJ ;;
  config_running) refused_while_running --hold QN5MUTEXOBJ_CONFIG ;;
  both_running) refused_while_running --hold QN5MUTEXOBJ --hold QN5MUTEXOBJ_CONFIG ;;
  cancel)
    # No install-location file: a lookup would show its own box.
    install_demo
    before=$(snapshot)
    run_robot --answer CANCEL
    { box "$CAPTION" "$title$CONFIRM" none CANCEL; dialog_unseen; exited; } | expect
    expect_unchanged "$before"
    ;;
  not_installed) not_installed ;;
  empty_install_dir)
    write_location ""
    not_installed
    ;;
  long_install_dir)
    # It exists, and its work-file path fits 260 bytes but not the 255 that
    # the file object opens.
    long=$(printf 'a%.0s' $(seq 237))
    mkdir -p "$prefix/drive_c/$long"
    write_location "C:\\$long"
    not_installed
    # An install directory that is gone (the game was removed) is no installation.
    write_location "C:\\ゲーム\\消えた"
    not_installed
    ;;
  long_title)
    long=$(printf 'ア%.0s' $(seq 127))
    run_robot
    { box "$CAPTION" "$(fit_title "$long" "$CONFIRM")" none OK
      box "$CAPTION" "$(fit_title "$long" "$NOT_INSTALLED")" none OK
      dialog_unseen; exited; } | expect
    ;;
  good)
    # Large-address-aware (IMAGE_FILE_LARGE_ADDRESS_AWARE in the PE characteristics).
    python3 -c 'import struct, sys
b = open(sys.argv[1], "rb").read(4096)
pe = struct.unpack_from("<I", b, 0x3C)[0]
sys.exit(0 if b[pe:pe + 4] == b"PE\0\0" and struct.unpack_from("<H", b, pe + 22)[0] & 0x20 else 1)' \
      "$e2e/update.exe" || fail "the updater is not large-address-aware"
    installed
    installed  # a second run over the first: the same tree, one log line per file
    ;;
  trailing) installed ;;
  # Streamed into the work file until the damage shows: the work file is gone
  # before the box (--watch), the install directory as it was.
  corrupt | early_damage | bad_adler | oversize | undersize) unpack_refused "$DAMAGED" ;;
  truncated)
    # A work file left by an earlier run goes too.
    install_demo
    before=$(snapshot)
    echo stale >"$work"
    write_location "$install_win"
    run_robot --watch "$work_win"
    { box "$CAPTION" "$title$CONFIRM" none OK 6; box "$CAPTION_ERROR" "$DAMAGED" dialog OK absent
      dialog_seen; exited; } | expect
    expect_unchanged "$before"
    ;;
  no_payload) unpack_refused "$NOT_FOUND" --close-dialog ;;
  short | huge) unpack_refused "$NOT_LOADED" ;;
  # A header that claims the most an updater takes, before a short stream.
  max_claimed) unpack_refused "$DAMAGED" ;;
  empty)
    # A payload of size 0 is reported after the work file was made; it stays, empty.
    install_demo
    write_location "$install_win"
    run_robot --watch "$work_win"
    { box "$CAPTION" "$title$CONFIRM" none OK absent; box "$CAPTION_ERROR" "$SIZE_FAILED" dialog OK 0
      dialog_seen; exited; } | expect
    [ -f "$work" ] && [ ! -s "$work" ] || fail "empty work file not left"
    ;;
  completion)
    completed "$install_win" 'DATA\STAGE01.DAT' "$install_win" old.txt "$install_win" README.TXT \
      "$install_win" ZZZ.DAT "$install_win" ソフト.TXT
    ;;
  names)
    # The tree QX_E2E_TREE into C:\ゲーム\才能, whose last byte (能 is 0x94
    # 0x5C) is no separator: every file whole, every path in the log, no
    # error box, nothing written beside the install directory.
    # Run again with the folder written as an installer may write it ('/'
    # separators, doubled, a trailing one): the same folder, the same log.
    install_win='C:\ゲーム\才能'
    install=$prefix/drive_c/ゲーム/才能
    mkdir -p "$install"
    for written in "$install_win" 'C:/ゲーム//才能/'; do
      write_location "$written"
      run_robot
      { box "$CAPTION" "$title$CONFIRM" none OK; box "$CAPTION" "$DONE" dialog OK; exited; } |
        expect --any-dialog
    done
    (cd "$QX_E2E_TREE" && find . -type f -printf '%P\n') | while read -r f; do
      cmp -s "$QX_E2E_TREE/$f" "$install/$(tr a-z A-Z <<<"$f")" || fail "$f not installed whole"
    done
    # Sorted as the log sorts: bytes, with A-Z folded to a-z.
    (cd "$QX_E2E_TREE" && find . -type f -printf '%P\n') | python3 -c '
import sys
d = sys.argv[1].encode("cp932")
lines = [b"\"" + d + b"\\" + n.strip().replace("/", "\\").upper().encode("cp932") + b"\""
         for n in sys.stdin]
fold = bytes.maketrans(bytes(range(65, 91)), bytes(range(97, 123)))
sys.stdout.buffer.write(b"".join(l + b"\r\n" for l in sorted(lines, key=lambda l: l.translate(fold))))
' "$install_win" >"$e2e/expected.log"
    cmp -s "$e2e/expected.log" "$install/install.log" || fail "install.log differs"
    [ "$(ls "$prefix/drive_c/ゲーム")" = 才能 ] || fail "beside the install directory: $(ls "$prefix/drive_c/ゲーム")"
    [ -z "$(find "$install" -name '~QX*')" ] || fail "a working file was left: $(find "$install" -name '~QX*')"
    ;;
  no_entries)
    completed "$install_win" old.txt "$install_win" README.TXT "$install_win" ZZZ.DAT
    ;;
  work_file_blocked)
    install_demo
    mkdir "$work"
    write_location "$install_win"
    before=$(snapshot)
    run_robot --watch "$work_win"
    { box "$CAPTION" "$title$CONFIRM" none OK directory
      box "$CAPTION_ERROR" "$CREATE_FAILED" dialog OK directory; dialog_seen; exited; } | expect
    expect_unchanged "$before"
    ;;
  planted_dlls) planted_dlls "${@:5}" ;;
  *)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac

[ ! -s "$failures" ] || exit 1
echo "PASS [$scenario]"
