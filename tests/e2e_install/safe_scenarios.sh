#!/usr/bin/env bash
# safe_scenarios.sh SCENARIO UPDATER.EXE ROBOT.EXE HOLDER.EXE EXES_DIR LATER.EXE
#
# The update is one transaction, whatever players' machines do to it
# (safe_payloads.py lays the installation out and judges it byte for byte).
# Every run that cannot finish leaves the installation and install.log exactly
# as they were and shows one box after the confirmation, never the completion.
#   diskfull  too small a volume, refused before anything changes: a tmpfs where
#             the work file, the staging or the new log does not fit, and a
#             volume of 64 KiB clusters (ext4 bigalloc) where it fits only when
#             counted in 4 KiB. Needs root to mount; skipped (77) where mounting
#             fails.
#   kill      SIGKILL at four moments (work file written, inside the large
#             entry's staging, the commit, the log's save); each leaves every
#             file old or whole new, then a second run ends as a clean run.
#   rerun     a kill at the commit, then a later updater: it finishes the first
#             update and installs its own. A kill while staging on a tmpfs that
#             fits one clean run but not one plus what the killed run left: the
#             rerun completes.
#   refused   a file held open by another program, install.log held, a
#             read-only folder of 150 entries, an installed executable that may
#             not be read: refused whole.
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
cp "$6" "$e2e/later.exe"
title=デモゲーム
mkdir -p "$prefix/drive_c/ProgramData/QXTest"
printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>C:\\ゲーム\\デモ</path></install>\r\n' |
  iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/QXTest/$title.xml"
py() { python3 "$here/safe_payloads.py" "$@" --exes "$exes"; }

confirm="box	アップデート	${title}のアップデートを行います。	owner=none	answer=OK"
done_box="box	アップデート	アップデートが終了しました	owner=dialog	answer=OK"
run() {  # run CASE EXPECTED-BOX-LINES... (UPDATER names another than update.exe)
  local case=$1
  shift
  rm -f "$e2e/seen.txt"
  qx_wine "$prefix" 'C:\e2e\robot.exe' --out 'C:\e2e\seen.txt' --timeout $((120 * QX_WINE_SLOWDOWN)) \
    -- "C:\\e2e\\${UPDATER:-update.exe}" || fail "$case: robot ended with $?"
  [ $# -eq 0 ] && return
  diff -u <(printf '%s\n' "$@" "exit	0") <(grep -v '^dialog	' "$e2e/seen.txt" 2>/dev/null) >&2 ||
    fail "$case: message boxes differ"
}

fresh() {  # fresh [--log-lines N]: the installation as the update finds it
  chmod -R u+rwX "$install"
  find "$install" -mindepth 1 -delete
  py setup "$install" "$@" || fail "setup"
}

not_applied() {  # the one box of a run refused whole
  printf 'box\tアップデートエラー\t%s | アップデートは適用されませんでした。ゲームのファイルは変更されていません。\towner=dialog\tanswer=OK' "$1"
}

# mount_volume SIZE [ext4-bigalloc]: a fresh volume of SIZE MiB as the install
# directory; a tmpfs, or ext4 with 64 KiB clusters. Skips the scenario where
# it cannot be mounted.
mount_volume() {
  mountpoint -q "$install" && umount "$install"
  if [ "${2:-}" = ext4-bigalloc ]; then
    image=$(mktemp "${TMPDIR:-/tmp}/qx-bigalloc.XXXXXX")
    truncate -s "${1}M" "$image" && mkfs.ext4 -q -F -O bigalloc -C 65536 -m 0 "$image" >/dev/null 2>&1 &&
      mount -o loop "$image" "$install" 2>/dev/null && chmod 0777 "$install" && rm -f "$image" && return
    rm -f "$image"
    echo "SKIP [$scenario]: cannot mount an ext4 image with 64 KiB clusters (needs root and loop devices)"
    exit 77
  fi
  mount -t tmpfs -o "size=${1}m,mode=0777" tmpfs "$install" 2>/dev/null && return
  echo "SKIP [$scenario]: cannot mount a tmpfs (needs root)"
  exit 77
}

# kill_at MOMENT [--log-lines N]: the updater run killed at MOMENT; every file
# old or whole new.
kill_at() {
  local moment=$1
  shift
  py kill "$moment" "$install" "$prefix" &
  local killer=$!
  run "$moment"
  wait $killer || fail "$moment: moment not seen"
  py check torn "$install" "$prefix/drive_c" "$@" || fail "$moment: torn installation after the kill"
}

case $scenario in
  diskfull)
    # Sizes in MiB: the installation holds 3 (BIG.DAT) and the log; the work
    # file needs 4.1; staging every entry 4.6, beside the installed files; the
    # new log as much as the old one. In 64 KiB clusters the 157 entries take
    # 9 MiB more than in 4 KiB ones.
    full="ディスクの空き容量が不足しています"
    for c in work:6:4000:tmpfs install:10:4000:tmpfs log:22:32000:tmpfs clusters:20:4000:ext4-bigalloc; do
      IFS=: read -r what mib lines kind <<<"$c"
      mount_volume "$mib" "$kind"
      fresh --log-lines "$lines"
      if [ "$what" = work ]; then
        run "$what" "$confirm" "box	アップデートエラー	$full	owner=dialog	answer=OK"
      else
        run "$what" "$confirm" "$(not_applied "$full")"
      fi
      py check old "$install" "$prefix/drive_c" --log-lines "$lines" || fail "$what: installation changed"
    done
    ;;
  kill)
    for moment in work stage commit log; do
      # The log's save is the shortest moment: a long log keeps it in sight
      # of a loaded machine.
      lines=(--log-lines "$([ "$moment" = log ] && echo 40000 || echo 4000)")
      fresh "${lines[@]}"
      kill_at "$moment" "${lines[@]}"
      run "$moment, second run" "$confirm" "$done_box"
      py check new "$install" "$prefix/drive_c" "${lines[@]}" ||
        fail "$moment: second run differs from a clean one"
    done
    ;;
  rerun)
    fresh
    kill_at commit
    UPDATER=later.exe run "later update after a kill" "$confirm" "$done_box"
    py check later "$install" "$prefix/drive_c" || fail "the later update did not end clean"
    # A clean run needs about 13.5 MiB here; a run killed while staging leaves
    # the work file and staged files, 5 MiB more, that the rerun must remove.
    mount_volume 15
    fresh
    kill_at stage
    run "rerun on a full volume" "$confirm" "$done_box"
    py check new "$install" "$prefix/drive_c" || fail "the rerun did not complete"
    ;;
  refused)
    hold() {  # hold NAME: a program holds C:\ゲーム\デモ\NAME open while the update runs
      rm -f "$e2e/held"
      qx_wine "$prefix" 'C:\e2e\holder.exe' "C:\\ゲーム\\デモ\\$1" 'C:\e2e\held' >/dev/null 2>&1 &
      holder=$!
      for _ in $(seq 600); do [ -e "$e2e/held" ] && break; sleep 0.1; done
      [ -e "$e2e/held" ] || fail "holder did not start"
    }
    release() { rm -f "$e2e/held"; wait $holder; }
    file() { printf 'ファイル C:\\ゲーム\\デモ\\%s の%s' "$1" "$2"; }
    fresh
    hold HELD.TXT
    run held "$confirm" "$(not_applied "$(file HELD.TXT 更新に失敗しました)")"
    release
    py check old "$install" "$prefix/drive_c" || fail "held: installation changed"
    fresh
    hold install.log
    run "held log" "$confirm" "$(not_applied "$(file install.log 更新に失敗しました)")"
    release
    py check old "$install" "$prefix/drive_c" || fail "held log: installation changed"
    fresh
    mkdir -m 0555 "$install/MANY"
    run "read-only folder" "$confirm" "$(not_applied "$(file 'MANY\F000.TXT' 更新に失敗しました)")"
    py check old "$install" "$prefix/drive_c" || fail "read-only folder: installation changed"
    fresh
    chmod 200 "$install/GAME.EXE"  # writable, not readable: not read-only either
    run "unreadable executable" "$confirm" "$(not_applied "$(file GAME.EXE バージョンを確認できませんでした)")"
    chmod 644 "$install/GAME.EXE"
    py check old "$install" "$prefix/drive_c" || fail "unreadable executable: installation changed"
    ;;
  *)
    echo "unknown scenario $scenario" >&2
    exit 2
    ;;
esac

[ ! -s "$failures" ] || exit 1
echo "PASS [$scenario]"
