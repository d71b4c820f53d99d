#!/usr/bin/env bash
# nsis_rounds.sh OUT.md  (run as bench/update_bench.sh --nsis OUT.md)
#
# The whole update under Wine against an NSIS installer of the same tree
# (Debian's makensis, SetCompressor /SOLID zlib, run with /S /D=...), in the
# same kind of fresh prefix, the robot starting both:
#   ours   confirmation answered -> completion box (the robot's clock)
#   NSIS   the whole run, start to exit (the robot's clock)
# Each tree goes into an empty and into an installed directory, with the
# prefix on disk and on tmpfs; the contenders alternate within each round
# (their order rotates) and the medians of the rounds count. Peak working set:
# the largest VmHWM of the contender's Wine process (what Wine reports as
# PeakWorkingSetSize). Writes a Markdown table to OUT.md.
#
#   QX_BENCH_ROUNDS   rounds per row (default 5)
#   QX_BENCH_TREES    "FILES:BYTES ..." (default the three trees below)
#   QX_BENCH_BEFORE   a source tree of an earlier updater: a third contender
#   QX_BENCH_LARGE    bytes of the one large update that must install
#                     (default 1.5 GiB; 0 leaves it out)
#   QX_BENCH_MEDIA    "disk tmpfs" (default)
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out=$1
build=$repo/build/bench
win=$repo/build/bench-win
rounds=${QX_BENCH_ROUNDS:-5}
trees=${QX_BENCH_TREES:-"2000:268435456 16:268435456 5000:20971520"}
before_src=${QX_BENCH_BEFORE:-}
large=${QX_BENCH_LARGE:-1610612736}
media=${QX_BENCH_MEDIA:-disk tmpfs}
shm_template=/dev/shm/qx-bench-template

die() { echo "nsis_rounds: $*" >&2; exit 1; }
say() { echo "nsis_rounds: $*" >&2; }
command -v makensis >/dev/null || die "makensis not found"

cmake -S "$repo" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQX_SANITIZE=OFF \
  -DQX_TESTS=OFF -DQX_BENCH=ON >/dev/null &&
  cmake --build "$build" --target qxbench_tree qxarc qxpack >/dev/null || die "host tools do not build"
cmake -S "$repo" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQX_BENCH=ON >/dev/null &&
  cmake --build "$win" --target e2e_robot >/dev/null || die "the robot does not build"

# The updater of one tree, by the build-update of source tree $1.
build_updater() { # SRC ARCHIVE OUT.exe ROOT
  QX_UPDATE_BUILD_ROOT=$4 "$1/scripts/build-update" --brand QXBench --title ベンチ --from "$2" \
    -o "$3" >&2
}

# Tree, archive, updaters and NSIS installer of FILES:BYTES, made once.
prepare() { # FILES BYTES -> sets data
  data=$build/nsis-$1-$2
  if [ ! -f "$data/.ready" ]; then
    say "making the tree of $1 files, $2 bytes"
    rm -rf "$data" && mkdir -p "$data"
    "$build/bench/qxbench_tree" "$data/tree" "$1" "$2" || die "cannot make the tree"
    "$build/tools/qxarc" create "$data/tree" "$data/update.arc" >/dev/null || die "no archive"
    touch "$data/.ready"
  fi
  if [ ! -f "$data/packed" ]; then
    # The packed payload's size, for the memory target (the same bytes every build).
    "$build/tools/qxpack" "$data/update.arc" "$data/payload.bin" >/dev/null || die "no payload"
    stat -c %s "$data/payload.bin" >"$data/packed" && rm -f "$data/payload.bin"
  fi
  if [ ! -f "$data/after.exe" ]; then
    say "building our updater"
    build_updater "$repo" "$data/update.arc" "$data/after.exe" "$build/update-after" ||
      die "build-update failed"
  fi
  if [ -n "$before_src" ] && [ ! -f "$data/before.exe" ] && [ "${3:-}" != large ]; then
    say "building the earlier updater"
    build_updater "$before_src" "$data/update.arc" "$data/before.exe" "$build/update-before" ||
      die "the earlier build-update failed"
  fi
  if [ ! -f "$data/nsis.exe" ] && [ "${3:-}" != large ]; then
    say "building the NSIS installer"
    cat >"$data/bench.nsi" <<END
Unicode true
Name "Bench"
OutFile "$data/nsis.exe"
SetCompressor /SOLID zlib
RequestExecutionLevel user
InstallDir "C:\\Games\\Bench"
SilentInstall silent
Section
  SetOutPath "\$INSTDIR"
  File /r "$data/tree/*"
SectionEnd
END
    makensis -V1 "$data/bench.nsi" >&2 || die "makensis failed"
  fi
}

# Largest VmHWM (bytes) of Wine processes whose command line matches $2,
# while pid $1 runs.
watch_peak() {
  local peak=0 pid kb
  while kill -0 "$1" 2>/dev/null; do
    for pid in $(pgrep -f "$2" 2>/dev/null); do
      kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$pid/status" 2>/dev/null)
      [ -n "$kb" ] && [ "$kb" -gt "$peak" ] && peak=$kb
    done
    sleep 0.05
  done
  echo $((peak * 1024))
}

field() { awk -F'\t' -v key="$1=" '{for (i = 1; i <= NF; i++) if (index($i, key) == 1) print substr($i, length(key) + 1)}'; }

# One run of contender $1 (after|before|nsis) on $data into an empty or
# installed ($2) directory, in a fresh prefix. Prints "SECONDS PEAK_BYTES",
# or "fail REASON".
run_one() {
  local who=$1 target=$2 prefix exe seen t_ms peak
  prefix=$(qx_new_prefix) || { echo "fail prefix"; return; }
  local bench=$prefix/drive_c/bench install=$prefix/drive_c/Games/Bench
  mkdir -p "$bench" "$prefix/drive_c/ProgramData/QXBench" "$install"
  exe=$who.exe
  cp "$data/$exe" "$win/tests/e2e/robot.exe" "$bench/"
  printf '<?xml version="1.0" encoding="Shift_JIS"?>\r\n<install><path>C:\\Games\\Bench</path></install>\r\n' |
    iconv -f UTF-8 -t CP932 >"$prefix/drive_c/ProgramData/QXBench/ベンチ.xml"
  [ "$target" = empty ] || cp -a "$data/tree/." "$install/"
  sync
  local args=('C:\bench\'"$exe")
  [ "$who" != nsis ] || args+=(/S '/D=C:\Games\Bench')
  qx_wine "$prefix" 'C:\bench\robot.exe' --out 'C:\bench\seen.txt' --timeout 1800 --stats \
    -- "${args[@]}" >/dev/null 2>&1 &
  local robot=$!
  peak=$(watch_peak $robot "bench.$exe")
  wait $robot
  seen=$bench/seen.txt
  if [ "$who" = nsis ]; then
    t_ms=$(grep -P '^exit\t0' "$seen" 2>/dev/null | field ms)
  else
    local start done
    start=$(grep -P '^box\tアップデート\t.*アップデートを行います' "$seen" 2>/dev/null | field ms)
    done=$(grep -P '^box\tアップデート\tアップデートが終了しました' "$seen" 2>/dev/null | field ms)
    [ -n "$start" ] && [ -n "$done" ] && t_ms=$((done - start))
  fi
  if [ -z "${t_ms:-}" ]; then
    echo "fail $(grep -P '^box' "$seen" 2>/dev/null | cut -f3 | head -1 | tr ' ' _)"
  elif [ "${check:-0}" = 1 ] && ! diff -rq -x install.log "$data/tree" "$install" >/dev/null; then
    echo "fail wrong-tree"
  else
    echo "$(awk "BEGIN { printf \"%.3f\", $t_ms / 1000 }") $peak"
  fi
  qx_end_prefix "$prefix"
}

median() { sort -n | awk '{a[NR] = $1} END { if (NR == 0) print "-"; else if (NR % 2) print a[(NR + 1) / 2]; else printf "%.3f\n", (a[NR / 2] + a[NR / 2 + 1]) / 2 }'; }
mib() { awk "BEGIN { printf \"%d\", $1 / 1048576 }"; }

contenders=(after nsis)
[ -z "$before_src" ] || contenders=(after before nsis)
results=$(mktemp)
for medium in $media; do
  if [ "$medium" = tmpfs ]; then
    export TMPDIR=/dev/shm QX_WINE_TEMPLATE=$shm_template
  else
    export TMPDIR=/tmp QX_WINE_TEMPLATE=$win/wine-template
  fi
  . "$repo/tests/wine-env.sh"
  for tree in $trees; do
    prepare "${tree%:*}" "${tree#*:}"
    for target in empty installed; do
      for round in $(seq "$rounds"); do
        # Rotate the order so that no contender always runs first.
        n=${#contenders[@]}
        for k in $(seq 0 $((n - 1))); do
          who=${contenders[$(((k + round) % n))]}
          check=0
          [ "$round" != 1 ] || check=1
          r=$(run_one "$who" "$target")
          say "$medium $tree $target round $round $who: $r"
          echo "$medium $tree $target $who $r" >>"$results"
        done
      done
    done
  done
done

large_row=""
if [ "$large" != 0 ]; then
  export TMPDIR=/tmp QX_WINE_TEMPLATE=$win/wine-template
  . "$repo/tests/wine-env.sh"
  prepare 1000 "$large" large
  check=1
  r=$(run_one after empty)
  say "large update: $r"
  packed=$(cat "$data/packed")
  if [ "${r%% *}" = fail ]; then
    large_row="| 1,000 files, $(mib "$large") MiB | empty | disk | FAILED: ${r#fail } | | | | | |"
  else
    read -r t p <<<"$r"
    large_row="| 1,000 files, $(mib "$large") MiB | empty | disk | $t s | | | | $(mib "$p") MiB (target <= $(mib $((packed + 67108864)))) | installed whole |"
  fi
fi

{
  echo "Medians of $rounds rounds; time ratio = ours / NSIS solid (target <= 1.0);"
  echo "peak = largest VmHWM (target for ours: <= packed payload + 64 MiB)."
  echo
  if [ -n "$before_src" ]; then
    echo "| tree | target | prefix | ours | before | NSIS solid | ours / NSIS | before / NSIS | peak ours / before / NSIS | memory target |"
    echo "|---|---|---|---|---|---|---|---|---|---|"
  else
    echo "| tree | target | prefix | ours | NSIS solid | ours / NSIS | peak ours / NSIS | memory target |"
    echo "|---|---|---|---|---|---|---|---|"
  fi
  for medium in $media; do
    for tree in $trees; do
      files=${tree%:*} bytes=${tree#*:}
      packed=$(cat "$build/nsis-$files-$bytes/packed")
      for target in empty installed; do
        declare -A t=() p=()
        for who in "${contenders[@]}"; do
          t[$who]=$(awk -v m="$medium" -v tr="$tree" -v g="$target" -v w="$who" \
            '$1 == m && $2 == tr && $3 == g && $4 == w && $5 != "fail" {print $5}' "$results" | median)
          p[$who]=$(awk -v m="$medium" -v tr="$tree" -v g="$target" -v w="$who" \
            '$1 == m && $2 == tr && $3 == g && $4 == w && $5 != "fail" {print $6}' "$results" | median)
        done
        ratio() { [ "$1" = - ] || [ "$2" = - ] && echo - || awk "BEGIN { printf \"%.2f\", $1 / $2 }"; }
        r_after=$(ratio "${t[after]}" "${t[nsis]}")
        met=$(awk "BEGIN { print (\"$r_after\" != \"-\" && $r_after + 0 <= 1.0) ? \"met\" : \"MISSED\" }")
        limit=$((packed + 67108864))
        mem=$(awk "BEGIN { print (\"${p[after]}\" != \"-\" && ${p[after]:-0} <= $limit) ? \"met\" : \"MISSED\" }")
        name="$(printf "%'d" "$files") files, $(mib "$bytes") MiB"
        if [ -n "$before_src" ]; then
          echo "| $name | $target | $medium | ${t[after]} s | ${t[before]} s | ${t[nsis]} s | $r_after ($met) | $(ratio "${t[before]}" "${t[nsis]}") | $(mib "${p[after]:-0}") / $(mib "${p[before]:-0}") / $(mib "${p[nsis]:-0}") MiB | <= $(mib $limit) MiB: $mem |"
        else
          echo "| $name | $target | $medium | ${t[after]} s | ${t[nsis]} s | $r_after ($met) | $(mib "${p[after]:-0}") / $(mib "${p[nsis]:-0}") MiB | <= $(mib $limit) MiB: $mem |"
        fi
      done
    done
  done
  [ -z "$large_row" ] || echo "$large_row"
  echo
  echo "Failed runs (excluded from the medians):"
  grep ' fail' "$results" | sed 's/^/    /' || echo "    none"
} >"$out"
cp "$results" "$out.runs"
rm -f "$results"
cat "$out"
