#!/usr/bin/env python3
"""Writes an updater payload resource for the end-to-end tests.

make_payload.py OUT (--tree DIR | --raw FILE) [damage options]

The payload is archive_builder's: the header, then one zlib stream at level 9.
--tree packs a plain archive of every file below DIR (names relative, '\\'
separators, code page 932). --raw packs FILE's bytes as they are. --filler N
adds an entry FILLER.DAT of N incompressible bytes, so that the archive spans
several of the unpack step's writes. --archive-size prints the archive's
length instead (OUT is not written).

Damage, applied in this order to the finished resource:
  --unpacked-size N   header field replaced (decimal or 0x hex)
  --size-delta N      header field moved by N from the true size
  --flip OFFSET       one stream byte inverted; a negative OFFSET counts from the end
  --append N          N bytes added after the stream
  --cut N             resource cut to its first N bytes; negative: N bytes taken off the end
"""
import argparse
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import archive_builder  # noqa: E402


def collect_tree(root):
    entries = []
    for base, dirs, files in os.walk(root):
        dirs.sort()
        for name in sorted(files):
            path = os.path.join(base, name)
            rel = os.path.relpath(path, root).replace(os.sep, "\\")
            entries.append((rel.encode("cp932"), open(path, "rb").read()))
    entries.sort(key=lambda e: e[0])
    return entries


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("out")
    source = ap.add_mutually_exclusive_group(required=True)
    source.add_argument("--tree")
    source.add_argument("--raw")
    ap.add_argument("--filler", type=int)
    ap.add_argument("--unpacked-size", type=lambda s: int(s, 0))
    ap.add_argument("--size-delta", type=int)
    ap.add_argument("--flip", type=int)
    ap.add_argument("--append", type=int)
    ap.add_argument("--cut", type=int)
    ap.add_argument("--archive-size", action="store_true")
    args = ap.parse_args()

    if args.tree:
        entries = collect_tree(args.tree)
        if args.filler:
            entries.append((b"FILLER.DAT", random.Random(13).randbytes(args.filler)))
        archive = archive_builder.archive(sorted(entries, key=lambda e: e[0]))
    else:
        archive = open(args.raw, "rb").read()
    if args.archive_size:
        print(len(archive))
        return
    payload = bytearray(archive_builder.payload(archive))
    size_at = archive_builder.UNPACKED_SIZE_AT
    if args.unpacked_size is not None:
        struct.pack_into("<I", payload, size_at, args.unpacked_size)
    if args.size_delta is not None:
        struct.pack_into("<I", payload, size_at, len(archive) + args.size_delta)
    if args.flip is not None:
        at = args.flip if args.flip < 0 else archive_builder.PAYLOAD_HEADER + args.flip
        payload[at] ^= 0xFF
    if args.append is not None:
        payload += b"\0" * args.append
    if args.cut is not None:
        payload = payload[: args.cut]
    with open(args.out, "wb") as f:
        f.write(payload)


if __name__ == "__main__":
    main()
