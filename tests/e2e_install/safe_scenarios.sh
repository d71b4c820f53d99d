#!/usr/bin/env bash
# safe_scenarios.sh SCENARIO UPDATER.EXE ROBOT.EXE HOLDER.EXE EXES_DIR
#
# The installation survives what players' machines do to it (safe_payloads.py
# lays it out and judges it byte for byte):
#   diskfull  a small tmpfs as the install directory, three sizes: the work
#             file does not fit, the install does not fit, the log's sibling
#             does not fit. Each is refused before anything changes. Needs
#             root to mount; skipped (77) where mounting fails.
#   kill      SIGKILL at four moments (work file written, inside the large
#             entry's copy, mid-loop, during a log save); each leaves every
#             file old or whole new, then a second run ends as a clean run.
#   held      a file held open by another process: reported, kept old; the
#             rest installed.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
exes=$5
. "$here/../wine-env.sh"

prefix=$(qx_new_prefix) || { echo "cannot make a Wine prefix" >&2; exit 125; }
failures=$(mktemp)
install=$prefix/drive_c/ゲーム/デモ
cleanup() {
  mountpoint -q "$install" && umount "$install"
  qx_end_prefix "$prefix"
  rm -f "$failures"
}
trap cleanup EXIT
fail() {
  echo "FAIL [$scenario]: $*" >&2
  echo "$*" >>"$failures"
}

e2e=$prefix/drive_c/e2e
mkdir -p "$e2e" "$install"
cp "$2" "$e2e/update.exe"
cp "$3" "$e2e/robot.exe"
cp "$4" "$e2e/holder.exe"
title=デモゲーム
mkdir -p "$prefix/drive_c/ProgramData/QXTest"
printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>C:\\ゲーム\\デモ</path></install>\r\n' |
  iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/QXTest/$title.xml"
py() { python3 "$here/safe_payloads.py" "$@" --exes "$exes"; }

confirm="box	アップデート	${title}のアップデートを行います。	owner=none	answer=OK"
done_box="box	アップデート	アップデートが終了しました	owner=dialog	answer=OK"
run() {  # run CASE EXPECTED-BOX-LINES...
  local case=$1
  shift
  rm -f "$e2e/seen.txt"
  qx_wine "$prefix" 'C:\e2e\robot.exe' --out 'C:\e2e\seen.txt' --timeout $((120 * QX_WINE_SLOWDOWN)) -- 'C:\e2e\update.exe' ||
    fail "$case: robot ended with $?"
  [ $# -eq 0 ] && return
  diff -u <(printf '%s\n' "$@" "exit	0") <(grep -v '^dialog	' "$e2e/seen.txt" 2>/dev/null) >&2 ||
    fail "$case: message boxes differ"
}

fresh() {  # fresh [--log-lines N]: the installation as the update finds it
  find "$install" -mindepth 1 -delete
  py setup "$install" "$@" || fail "setup"
}

case $scenario in
  diskfull)
    # Sizes in MiB: the installation holds 3 (BIG.DAT) and the log; the work
    # file needs 4.1; the install needs about 1.7 of growth and the largest
    # sibling, 4 for BIG.DAT or the new log when that is larger.
    full="box	アップデートエラー	ディスクの空き容量が不足しています	owner=dialog	answer=OK"
    for c in work:6:4000 install:10:4000 log:20:32000; do
      IFS=: read -r what mib lines <<<"$c"
      mountpoint -q "$install" && umount "$install"
      if ! mount -t tmpfs -o "size=${mib}m,mode=0777" tmpfs "$install" 2>/dev/null; then
        echo "SKIP [$scenario]: cannot mount a tmpfs (needs root)"
        exit 77
      fi
      fresh --log-lines "$lines"
      run "$what" "$confirm" "$full"
      py check old "$install" "$prefix/drive_c" --log-lines "$lines" || fail "$what: installation changed"
    done
    ;;
  kill)
    for moment in work copy loop log; do
      fresh
      py kill "$moment" "$install" "$prefix" &
      killer=$!
      run "$moment"
      wait $killer || fail "$moment: moment not seen"
      py check torn "$install" "$prefix/drive_c" || fail "$moment: torn installation after the kill"
      run "$moment, second run" "$confirm" "$done_box"
      py check new "$install" "$prefix/drive_c" || fail "$moment: second run differs from a clean one"
    done
    ;;
  held)
    fresh
    qx_wine "$prefix" 'C:\e2e\holder.exe' 'C:\ゲーム\デモ\HELD.TXT' 'C:\e2e\held' >/dev/null 2>&1 &
    holder=$!
    for _ in $(seq 600); do [ -e "$e2e/held" ] && break; sleep 0.1; done
    [ -e "$e2e/held" ] || fail "holder did not start"
    run held "$confirm" \
      "box	アップデートエラー	ファイル C:\\ゲーム\\デモ\\HELD.TXT の更新に失敗しました	owner=dialog	answer=OK" \
      "$done_box"
    rm -f "$e2e/held"  # lets the holder go
    wait $holder
    py check held "$install" "$prefix/drive_c" || fail "held: installation differs"
    ;;
  *)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac

[ ! -s "$failures" ] || exit 1
echo "PASS [$scenario]"
