#!/usr/bin/env python3
"""Prints the benchmark table from Google Benchmark's JSON output and, when
given, the key=value lines of the Wine update run and of the publisher's
build against makensis.

table.py [HOST.json] [UPDATE.txt] [--build BUILD.txt]
"""
import json
import math
import sys

SCALE = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def medians(path):
    """CPU seconds by run name: the median when there are repetitions, else
    the one run; and "_rms:NAME" for a complexity fit's RMS error."""
    with open(path) as f:
        runs = json.load(f)["benchmarks"]
    single, median = {}, {}
    for run in runs:
        name, kind = run["run_name"], run.get("aggregate_name")
        if kind == "median":
            median[name] = run["cpu_time"] * SCALE[run["time_unit"]]
        elif kind == "RMS":
            median["_rms:" + name] = run["rms"]
        elif run.get("run_type") == "iteration":
            single.setdefault(name, run["cpu_time"] * SCALE[run["time_unit"]])
    single.update(median)
    return single


def fmt_time(seconds):
    return "%.1f ms" % (seconds * 1e3) if seconds < 1 else "%.2f s" % seconds


def row(rows, figure, ours, reference, ratio, target, met):
    mark = "" if met is None else ("" if met else "  MISSED")
    rows.append((figure, ours, reference, "%.3f" % ratio, target + mark))


def host_rows(t, rows):
    pairs = [
        ("InflateBuffer, 64 MiB mixed (vs zlib uncompress)", "inflate", "inflate", 0.95),
        ("  the same (vs zlib inflate in 4096-byte steps, no copy)", "inflate", "inflate_4k",
         None),
        ("qxArchive::Read, 64 MiB enciphered (vs OpenSSL BF_ecb_encrypt)", "blowfish_read",
         "blowfish_read", 0.8),
        ("MtDraw, 2^20 draws (vs std::mt19937)", "mt19937", "mt19937", 0.9),
        ("  the same (vs that engine on uint32_t words)", "mt19937", "mt19937_32", None),
    ]
    for figure, ours_key, ref_key, target in pairs:
        ours, ref = t.get(ours_key + "/ours"), t.get(ref_key + "/reference")
        if not (ours and ref):
            continue
        if target is None:
            row(rows, figure, fmt_time(ours), fmt_time(ref), ref / ours, "(for comparison)", None)
        else:
            row(rows, figure, fmt_time(ours), fmt_time(ref), ref / ours, ">= %.2f" % target,
                ref / ours >= target)
    sizes = [10000, 100000, 1000000]
    for n in sizes:
        ours, ref = t.get("sort_unique/ours/%d" % n), t.get("sort_unique/reference/%d" % n)
        if ours and ref:
            target = ">= 0.90" if n == 100000 else "(for comparison)"
            row(rows, "SortUnique, %s lines (vs std::stable_sort)" % format(n, ","),
                fmt_time(ours), fmt_time(ref), ref / ours, target,
                ref / ours >= 0.9 if n == 100000 else None)
    # Growth between sizes against the n log n ratio; the reference's own
    # growth shows what the memory hierarchy adds on this machine.
    for small, large in zip(sizes, sizes[1:]):
        a, b = t.get("sort_unique/ours/%d" % small), t.get("sort_unique/ours/%d" % large)
        ra, rb = (t.get("sort_unique/reference/%d" % n) for n in (small, large))
        if a and b:
            expected = (large * math.log(large)) / (small * math.log(small))
            ref = "x%.2f" % expected + (" (stable_sort x%.2f)" % (rb / ra) if ra and rb else "")
            row(rows, "SortUnique growth %dk -> %dk (vs n log n)" % (small // 1000, large // 1000),
                "x%.2f" % (b / a), ref, expected / (b / a), "0.80 .. 1.25",
                0.8 <= expected / (b / a) <= 1.25)


def key_values(path):
    v = {}
    with open(path) as f:
        for line in f:
            if "=" in line:
                key, value = line.strip().split("=", 1)
                v[key] = value
    return v


def build_rows(path, rows):
    v = key_values(path)
    if "error" in v:
        rows.append(("Publisher's build", "-", "-", "-", "not measured: " + v["error"]))
        return
    for tree in ("big", "small"):
        if tree + "_files" not in v:
            continue
        what = "%s files, %d MiB" % (format(int(v[tree + "_files"]), ","),
                                     int(v[tree + "_bytes"]) >> 20)
        ref = float(v[tree + "_makensis_s"])
        ref_cpu = float(v[tree + "_makensis_cpu_s"])
        sides = [("qxbuild", "qxbuild, %s (vs makensis zlib, %s threads)" % (what, v["threads"]),
                  ">= 2.00"),
                 ("qxpack", "  qxpack --from DIR, the payload alone", "(for comparison)"),
                 ("before_qxbuild", "  QX_BENCH_BEFORE qxbuild", "(for comparison)"),
                 ("before_qxpack", "  QX_BENCH_BEFORE qxpack --from DIR", "(for comparison)"),
                 ("baseline", "  QX_BENCH_BASELINE_QXPACK --from DIR", "(for comparison)")]
        for side, figure, target in sides:
            if tree + "_" + side + "_s" not in v:
                continue
            ours = float(v[tree + "_" + side + "_s"])
            row(rows, figure, fmt_time(ours), fmt_time(ref), ref / ours, target,
                ref / ours >= 2.0 if side == "qxbuild" else None)
            cpu = float(v[tree + "_" + side + "_cpu_s"])
            rows.append(("    CPU time (user + sys); output bytes",
                         "%s; %s" % (fmt_time(cpu), format(int(v[tree + "_" + side + "_out"]), ",")),
                         "%s; %s" % (fmt_time(ref_cpu),
                                     format(int(v[tree + "_makensis_out"]), ",")),
                         "%.3f" % (ref_cpu / cpu), ""))
            rss, ref_rss = v.get(tree + "_" + side + "_rss_kib"), v.get(tree + "_makensis_rss_kib")
            if rss and ref_rss:
                rows.append(("    peak resident set", "%.0f MiB" % (int(rss) / 1024),
                             "%.0f MiB" % (int(ref_rss) / 1024),
                             "%.3f" % (int(ref_rss) / int(rss)), ""))


def update_rows(path, rows):
    v = key_values(path)
    if "error" in v:
        rows.append(("Update under Wine", "-", "-", "-", "not measured: " + v["error"]))
        return
    ours, tar = float(v["update_s"]), float(v["tar_s"])
    what = "%s files, %d MiB" % (v["files"], int(v["tree_bytes"]) >> 20)
    row(rows, "Update under Wine, %s (vs tar -xzf)" % what, fmt_time(ours), fmt_time(tar),
        tar / ours, "reported", None)
    if "inflate_s" in v:
        steps = [float(v[k]) for k in ("inflate_s", "write_s", "install_s")]
        rows.append(("  its steps: inflate / work file / install",
                     "%.2f / %.2f / %.2f s" % tuple(steps), "", "", ""))
    if "floor_s" in v and "install_s" in v:
        floor, install = float(v["floor_s"]), float(v["install_s"])
        row(rows, "  its install step (vs bare Win32 writes of the entries)", fmt_time(install),
            fmt_time(floor), floor / install, "reported", None)
    if "wine_inflate_s" in v:
        ours, ref = float(v["wine_inflate_s"]), float(v["wine_uncompress_s"])
        row(rows, "  InflateBuffer of its payload, product build (vs uncompress)", fmt_time(ours),
            fmt_time(ref), ref / ours, "(for comparison)", None)
        if "wine_steps_s" in v:
            steps = float(v["wine_steps_s"])
            row(rows, "  the same (vs zlib in 4096-byte steps, no copy)", fmt_time(ours),
                fmt_time(steps), steps / ours, "(for comparison)", None)
    command = float(v["command_s"])
    row(rows, "  the same, whole Wine command with start-up (vs tar -xzf)", fmt_time(command),
        fmt_time(tar), tar / command, "reported", None)
    peak, unpacked = int(v["peak_bytes"]), int(v["unpacked_bytes"])
    hwm = int(v.get("vmhwm_bytes", 0))
    rows.append(("Update peak working set (vs unpackedSize)",
                 "%d MiB (VmHWM %d MiB)" % (peak >> 20, hwm >> 20), "%d MiB" % (unpacked >> 20),
                 "%.3f" % (peak / unpacked), "reported (ours / reference)"))


def main():
    args = sys.argv[1:]
    build = None
    if "--build" in args:
        build = args[args.index("--build") + 1]
        del args[args.index("--build"):args.index("--build") + 2]
    t = medians(args[0]) if args else {}
    rows = [("figure", "ours", "reference", "ratio", "target")]
    host_rows(t, rows)
    if len(args) > 1:
        update_rows(args[1], rows)
    if build:
        build_rows(build, rows)
    widths = [max(len(r[i]) for r in rows) for i in range(5)]
    for i, r in enumerate(rows):
        print(" | ".join(c.ljust(w) for c, w in zip(r, widths)).rstrip())
        if i == 0:
            print("-+-".join("-" * w for w in widths))
    rms = t.get("_rms:sort_unique/ours")
    if rms is not None:
        print("SortUnique against an n log n fit: RMS error %.1f %%" % (100 * rms))


main()
