#!/usr/bin/env bash
# install_scenarios.sh SCENARIO UPDATER.EXE ROBOT.EXE EXES_DIR
#
# One end-to-end scenario of the install step in a fresh Wine prefix: lays out
# the installation the scenario starts from, lets the robot drive the updater
# (twice for "twice"), and compares the message boxes and the installation
# afterwards with what install_payloads.py expects.
set -u
here=$(cd "$(dirname "$0")" && pwd)
scenario=$1
variant=$scenario
[ "$scenario" != twice ] || variant=big
exes=$4
. "$here/../wine-env.sh"

prefix=$(qx_new_prefix) || { echo "cannot make a Wine prefix" >&2; exit 125; }
failures=$(mktemp)
trap 'qx_end_prefix "$prefix"; rm -f "$failures"' EXIT
fail() {
  echo "FAIL [$scenario]: $*" >&2
  echo "$*" >>"$failures"
}

e2e=$prefix/drive_c/e2e
mkdir -p "$e2e"
cp "$2" "$e2e/update.exe"
cp "$3" "$e2e/robot.exe"

brand=QXTest
title=デモゲーム
install_win='C:\ゲーム\デモ'
install=$prefix/drive_c/ゲーム/デモ
payloads() { python3 "$here/install_payloads.py" "$@" --exes "$exes"; }

mkdir -p "$prefix/drive_c/ProgramData/$brand"
printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>%s</path></install>\r\n' \
  "$install_win" | iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/$brand/$title.xml"
payloads setup "$variant" "$install" || fail "setup failed"

run_once() {
  rm -f "$e2e/seen.txt"
  qx_wine "$prefix" 'C:\e2e\robot.exe' --out 'C:\e2e\seen.txt' --timeout $((90 * QX_WINE_SLOWDOWN)) -- 'C:\e2e\update.exe'
  local rc=$?
  [ $rc -eq 0 ] || fail "robot ended with $rc"
  [ -f "$e2e/seen.txt" ] || { fail "robot wrote nothing"; : >"$e2e/seen.txt"; }
  # Whether the robot caught the dialog on screen is a matter of timing.
  diff -u <(payloads boxes "$variant" "$install_win") <(grep -v '^dialog	' "$e2e/seen.txt") >&2 ||
    fail "message boxes differ"
  payloads check "$variant" "$install" "$prefix/drive_c" "$install_win" || fail "installation differs"
}

case $scenario in
  gate | big | readonly | unsafe | nomemory | notarchive) run_once ;;
  twice)
    run_once
    first=$(md5sum "$install/install.log")
    run_once  # the same payload again: still one line per file
    [ "$(md5sum "$install/install.log")" = "$first" ] || fail "install.log changed on the second run"
    ;;
  *)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac

[ ! -s "$failures" ] || exit 1
echo "PASS [$scenario]"
