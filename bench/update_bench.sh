#!/usr/bin/env bash
# update_bench.sh OUT.txt
#
# The whole update under Wine against tar -xzf of the same tree, in the same
# command: an updater carrying 2,000 files (256 MiB) installs them into an
# empty directory of a fresh prefix, the robot answering its message boxes;
# tar extracts the same tree into another directory of the same prefix.
# Rounds alternate; the fastest of each side counts. Writes key=value lines:
#   update_s   confirmation answered -> completion box shown (robot's clock)
#   command_s  the whole Wine command (start-up and exit included)
#   inflate_s, write_s, install_s  the steps of that fastest update (payload
#              inflated, work file written, entries installed), told from the
#              work file and the log as seen from outside (to about 50 ms)
#   tar_s      tar -xzf of the tree
#   floor_s    the archive's entries written with bare Win32 calls under Wine
#              (bench/wine/install_floor.cpp, run by the robot as the updater
#              is), against the install step
#   wine_inflate_s, wine_uncompress_s, wine_steps_s  the payload inflated in
#              the product build under Wine by InflateBuffer, by zlib's
#              uncompress and by zlib in 4096-byte steps
#              (bench/wine/inflate_floor.cpp, best of three each)
#   peak_bytes the updater's peak working set (robot, GetProcessMemoryInfo)
#   vmhwm_bytes the largest VmHWM seen of the updater's Wine process
#   unpacked_bytes, files, tree_bytes
# or error=REASON.
#
# update_bench.sh --nsis OUT.md: the whole update against an NSIS installer of
# the same tree (bench/nsis_rounds.sh; see there).
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
if [ "${1:-}" = --nsis ]; then
  shift
  exec "$here/nsis_rounds.sh" "$@"
fi
out=$1
build=$repo/build/bench
win=$repo/build/bench-win
files=${QX_BENCH_FILES:-2000}
bytes=${QX_BENCH_BYTES:-268435456}
rounds=${QX_BENCH_ROUNDS:-3}
: "${QX_WINE_TEMPLATE:=$win/wine-template}"
export QX_WINE_TEMPLATE

fail() {
  echo "error=$*" >"$out"
  echo "update_bench: $*" >&2
  exit 0
}

# Tools: host (tree maker, archiver) and Windows (robot).
cmake --build "$build" --target qxbench_tree qxarc >/dev/null || fail "host tools do not build"
cmake -S "$repo" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQX_BENCH=ON >/dev/null &&
  cmake --build "$win" --target e2e_robot install_floor inflate_floor >/dev/null ||
  fail "the robot or the floor programs do not build"

# The tree, its archive, its tar.gz and the updater, made once per size.
data=$build/update-$files-$bytes
if [ ! -f "$data/.ready" ]; then
  echo "update_bench: making the tree, its archive and tar.gz" >&2
  rm -rf "$data" && mkdir -p "$data"
  "$build/bench/qxbench_tree" "$data/tree" "$files" "$bytes" || fail "cannot make the tree"
  "$build/tools/qxarc" create "$data/tree" "$data/update.arc" || fail "cannot make the archive"
  tar -czf "$data/tree.tar.gz" -C "$data/tree" . || fail "cannot make the tar.gz"
  touch "$data/.ready"
fi
if [ ! -f "$data/update.exe" ] || [ "$data/update.arc" -nt "$data/update.exe" ]; then
  echo "update_bench: building the updater (scripts/build-update)" >&2
  "$repo/scripts/build-update" --brand QXBench --title ベンチ --from "$data/update.arc" \
    -o "$data/update.exe" || fail "scripts/build-update failed"
fi
unpacked=$(stat -c %s "$data/update.arc")

. "$repo/tests/wine-env.sh"
prefix=$(qx_new_prefix) || fail "cannot make a Wine prefix"
trap 'qx_end_prefix "$prefix"' EXIT
mkdir -p "$prefix/drive_c/bench" "$prefix/drive_c/ProgramData/QXBench"
cp "$data/update.exe" "$data/update.arc" "$win/tests/e2e/robot.exe" "$win/bench/install_floor.exe" \
  "$win/bench/inflate_floor.exe" "$prefix/drive_c/bench/"
printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>C:\\Games\\Bench</path></install>\r\n' |
  iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/QXBench/ベンチ.xml"
install=$prefix/drive_c/Games/Bench
extract=$prefix/drive_c/Games/Tar
floor=$prefix/drive_c/Games/Floor

now() { date +%s.%N; }
calc() { awk "BEGIN { printf \"%.3f\n\", $1 }" | sed 's/\.000$//'; }
# The value of the robot's NAME=VALUE field on the line on stdin.
field() { awk -F'\t' -v key="$1=" '{for (i = 1; i <= NF; i++) if (index($i, key) == 1) print substr($i, length(key) + 1)}'; }

# While $1 (a pid) runs: the largest VmHWM of the updater's process (bytes),
# and when the work file appeared, reached its full size, and when the
# install log appeared (seconds on this clock): the unpack and install steps.
watch_update() {
  local peak=0 pid kb work=$install/__updatetmp__.tmd t seen_work="" seen_full="" seen_log=""
  while kill -0 "$1" 2>/dev/null; do
    for pid in $(pgrep -f 'bench.update\.exe' 2>/dev/null); do
      kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
      [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
    done
    t=$(now)
    [ -n "$seen_work" ] || { [ -e "$work" ] && seen_work=$t; }
    [ -n "$seen_full" ] || { [ "$(stat -c %s "$work" 2>/dev/null)" = "$unpacked" ] && seen_full=$t; }
    [ -n "$seen_log" ] || { [ -e "$install/install.log" ] && seen_log=$t; }
    sleep 0.02
  done
  echo "$((peak * 1024)) ${seen_work:-0} ${seen_full:-0} ${seen_log:-0}"
}

best_update="" best_command="" best_tar="" best_floor="" steps="" peak=0 vmhwm=0
for round in $(seq "$rounds"); do
  rm -rf "$extract" && mkdir -p "$extract"
  t0=$(now)
  tar -xzf "$data/tree.tar.gz" -C "$extract" || fail "tar -xzf failed"
  t1=$(now)
  tar_s=$(calc "$t1 - $t0")
  diff -rq "$data/tree" "$extract" >/dev/null || fail "tar gave another tree"

  rm -rf "$install" && mkdir -p "$install"
  rm -f "$prefix/drive_c/bench/seen.txt"
  qx_own_prefix "$prefix"
  t0=$(now)
  qx_wine "$prefix" 'C:\bench\robot.exe' --out 'C:\bench\seen.txt' --timeout 900 --stats \
    -- 'C:\bench\update.exe' &
  robot=$!
  read -r hwm seen_work seen_full seen_log < <(watch_update $robot)
  wait $robot || fail "the robot ended with $?"
  t1=$(now)
  command_s=$(calc "$t1 - $t0")
  seen=$prefix/drive_c/bench/seen.txt
  [ -f "$seen" ] || fail "the robot wrote nothing"
  sed 's/^/  seen: /' "$seen" >&2
  start_ms=$(grep -P '^box\tアップデート\t.*アップデートを行います' "$seen" | field ms)
  done_line=$(grep -P '^box\tアップデート\tアップデートが終了しました\towner=dialog' "$seen") ||
    fail "no completion box"
  done_ms=$(field ms <<<"$done_line")
  box_peak=$(field peak <<<"$done_line")
  [ -n "$start_ms" ] && [ -n "$done_ms" ] || fail "no timings in the robot's lines"
  update_s=$(calc "($done_ms - $start_ms) / 1000")
  # The installed tree, less the log, must be the source tree.
  rm -f "$install/install.log"
  diff -rq "$data/tree" "$install" >/dev/null || fail "the updater installed another tree"
  # The same entries written with bare Win32 calls, from the same archive.
  rm -rf "$floor" && mkdir -p "$floor"
  qx_own_prefix "$prefix"
  # Under the robot, so that its polling of the window list costs both sides.
  rm -f "$prefix/drive_c/bench/floor.txt"
  qx_wine "$prefix" 'C:\bench\robot.exe' --out 'C:\bench\floor-seen.txt' --timeout 900 \
    -- 'C:\bench\install_floor.exe' 'C:\bench\update.arc' 'C:\Games\Floor' \
    'C:\bench\floor.txt' >/dev/null 2>&1
  floor_s=$(tr -d '\r' <"$prefix/drive_c/bench/floor.txt" 2>/dev/null)
  case $floor_s in '' | *[!0-9.]*) fail "install_floor failed" ;; esac
  diff -rq "$data/tree" "$floor" >/dev/null || fail "install_floor wrote another tree"

  # The payload is inflated before the work file is made; the log is saved
  # just before the completion box.
  write_s=$(calc "$seen_full - $seen_work")
  install_s=$(calc "$seen_log - $seen_full")
  inflate_s=$(calc "$update_s - ($seen_log - $seen_work)")
  echo "update_bench: round $round: tar ${tar_s}s, update ${update_s}s (inflate ~${inflate_s}s," \
    "work file ~${write_s}s, install ~${install_s}s), command ${command_s}s," \
    "bare Win32 install ${floor_s}s" >&2

  pick_min() { if [ -z "$1" ] || [ "$(calc "$2 < $1")" = 1 ]; then echo "$2"; else echo "$1"; fi; }
  best_tar=$(pick_min "$best_tar" "$tar_s")
  best_floor=$(pick_min "$best_floor" "$floor_s")
  best_update=$(pick_min "$best_update" "$update_s")
  best_command=$(pick_min "$best_command" "$command_s")
  [ "$best_update" != "$update_s" ] || steps="inflate_s=$inflate_s write_s=$write_s install_s=$install_s"
  case $box_peak in '' | *[!0-9]*) ;; *) [ "$box_peak" -gt "$peak" ] && peak=$box_peak ;; esac
  [ "$hwm" -gt "$vmhwm" ] && vmhwm=$hwm
done
rm -rf "$extract" "$install" "$floor"

# The payload's inflation in the product build, against uncompress.
qx_wine "$prefix" 'C:\bench\inflate_floor.exe' 'C:\bench\update.exe' 'C:\bench\inflate.txt' \
  >/dev/null 2>&1
read -r wine_inflate_s wine_uncompress_s wine_steps_s < <(tr -d '\r' <"$prefix/drive_c/bench/inflate.txt" 2>/dev/null)
[ -n "${wine_steps_s:-}" ] || fail "inflate_floor failed"
echo "update_bench: under Wine, InflateBuffer ${wine_inflate_s}s, uncompress ${wine_uncompress_s}s," \
  "zlib in 4096-byte steps ${wine_steps_s}s" >&2

cat >"$out" <<END
update_s=$best_update
command_s=$best_command
$(tr ' ' '\n' <<<"$steps")
tar_s=$best_tar
floor_s=$best_floor
wine_inflate_s=$wine_inflate_s
wine_uncompress_s=$wine_uncompress_s
wine_steps_s=$wine_steps_s
peak_bytes=$peak
vmhwm_bytes=$vmhwm
unpacked_bytes=$unpacked
files=$files
tree_bytes=$bytes
END
