#!/usr/bin/env bash
# build_bench.sh OUT.txt
#
# The publisher's build against makensis (Debian nsis, `SetCompressor /SOLID
# zlib`) on the same trees, in the same command: 2,000 files / 256 MiB and
# 5,000 small files / 20 MiB. For each tree, rounds alternate makensis,
# qxbuild (the whole updater: pack, check, stamp) and qxpack --from DIR (the
# payload alone); the fastest wall time of each side counts, and the largest
# peak resident set of its rounds. Writes, for each tree T (big, small),
# key=value lines:
#   T_files, T_bytes          the tree
#   T_makensis_s, T_makensis_cpu_s, T_makensis_out, T_makensis_rss_kib
#                             wall, user+sys, bytes out, peak resident set
#   T_qxbuild_s, T_qxbuild_cpu_s, T_qxbuild_out, T_qxbuild_rss_kib
#   T_qxpack_s, T_qxpack_cpu_s, T_qxpack_out, T_qxpack_rss_kib
#   T_before_qxbuild_..., T_before_qxpack_...   when QX_BENCH_BEFORE names the
#                             tools/ folder of another host build (an earlier
#                             version, say): its qxbuild and qxpack, same stub
#   T_baseline_s, T_baseline_cpu_s, T_baseline_out   when QX_BENCH_BASELINE_QXPACK
#                             names another qxpack (e.g. an older build) to compare
# and threads=N (hardware threads). Or error=REASON.
# QX_BENCH_ROUNDS (default 3) sets the rounds.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/.." && pwd)
out=$1
build=$repo/build/bench
win=$repo/build/bench-win
rounds=${QX_BENCH_ROUNDS:-3}
baseline=${QX_BENCH_BASELINE_QXPACK:-}
before=${QX_BENCH_BEFORE:-}

fail() {
  echo "error=$*" >"$out"
  echo "build_bench: $*" >&2
  exit 0
}

command -v makensis >/dev/null || fail "makensis not found (Debian nsis)"
cmake --build "$build" --target qxbench_tree qxpack qxbuild stamp_raw >/dev/null ||
  fail "host tools do not build"
# The stub comes from the product build; its host tools are the ones above.
cmake -S "$repo" -B "$win" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DQX_BENCH=ON -DQX_HOST_TOOLS_DIR="$build/tools" >/dev/null &&
  cmake --build "$win" --target qxupdate_stub >/dev/null || fail "the updater stub does not build"
stub=$win/tools/qxupdate-stub.exe

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/bench.nsi" <<'END'
Unicode true
SetCompressor /SOLID zlib
OutFile "${OUT}"
InstallDir "$PROGRAMFILES\QXBench"
RequestExecutionLevel user
Section
  SetOutPath "$INSTDIR"
  File /r "${TREE}/*.*"
SectionEnd
END

# Runs "$@" with its output to the side; prints "WALL CPU PEAK" (seconds,
# seconds, KiB of resident set), or nothing when it fails ($work/err then
# tells why).
timed() {
  python3 -c 'import resource, subprocess, sys, time
start = time.monotonic()
with open(sys.argv[1], "w") as err:
    status = subprocess.call(sys.argv[2:], stdout=subprocess.DEVNULL, stderr=err)
wall = time.monotonic() - start
usage = resource.getrusage(resource.RUSAGE_CHILDREN)
if status == 0:
    print("%.3f %.3f %d" % (wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss))' \
    "$work/err" "$@"
}

echo "threads=$(nproc)" >"$work/result"
tools_of() { [ "${1%%_*}" = before ] && echo "$before" || echo "$build/tools"; }
measure_tree() {
  local name=$1 files=$2 bytes=$3 tree=$build/build-$2-$3/tree side wall cpu size
  if [ ! -f "$build/build-$files-$bytes/.ready" ]; then
    echo "build_bench: making the tree of $files files" >&2
    rm -rf "$build/build-$files-$bytes"
    "$build/bench/qxbench_tree" "$tree" "$files" "$bytes" || fail "cannot make the tree"
    touch "$build/build-$files-$bytes/.ready"
  fi
  declare -A best_wall best_cpu peak
  local sides=(makensis qxbuild qxpack) rss
  [ -n "$before" ] && sides+=(before_qxbuild before_qxpack)
  [ -n "$baseline" ] && sides+=(baseline)
  for round in $(seq "$rounds"); do
    for side in "${sides[@]}"; do
      rm -f "$work/$side.out"
      wall="" cpu="" rss=""
      case $side in
        makensis) read -r wall cpu rss < <(timed makensis -V1 -DOUT="$work/$side.out" \
          -DTREE="$tree" "$work/bench.nsi") ;;
        qxbuild | before_qxbuild)
          read -r wall cpu rss < <(timed "$(tools_of $side)/qxbuild" --brand QXBench \
            --title ベンチ --from "$tree" --stub "$stub" -o "$work/$side.out") ;;
        qxpack | before_qxpack)
          read -r wall cpu rss < <(timed "$(tools_of $side)/qxpack" --from "$tree" \
            "$work/$side.out") ;;
        baseline) read -r wall cpu rss < <(timed "$baseline" --from "$tree" "$work/$side.out") ;;
      esac
      [ -n "$wall" ] && [ -s "$work/$side.out" ] ||
        fail "$side failed on the $name tree: $(head -c 300 "$work/err")"
      size=$(stat -c %s "$work/$side.out")
      echo "build_bench: $name round $round: $side ${wall}s (cpu ${cpu}s, $size bytes," \
        "peak $rss KiB)" >&2
      if [ -z "${best_wall[$side]:-}" ] || awk "BEGIN { exit !($wall < ${best_wall[$side]}) }"; then
        best_wall[$side]=$wall
        best_cpu[$side]=$cpu
      fi
      [ "${peak[$side]:-0}" -ge "$rss" ] || peak[$side]=$rss
      echo "${name}_${side}_out=$size" >>"$work/sizes"
    done
  done
  {
    echo "${name}_files=$files"
    echo "${name}_bytes=$bytes"
    for side in "${sides[@]}"; do
      echo "${name}_${side}_s=${best_wall[$side]}"
      echo "${name}_${side}_cpu_s=${best_cpu[$side]}"
      echo "${name}_${side}_rss_kib=${peak[$side]}"
      grep "^${name}_${side}_out=" "$work/sizes" | tail -1
    done
  } >>"$work/result"
}

measure_tree big "${QX_BENCH_FILES:-2000}" "${QX_BENCH_BYTES:-268435456}"
measure_tree small 5000 20971520
cp "$work/result" "$out"
