#!/usr/bin/env python3
"""Writes an updater payload resource for the end-to-end tests.

make_payload.py OUT (--tree DIR | --raw FILE) [damage options]

The payload is the 40-byte header ("__packtmp__.tmp", unpacked size, packed
size) followed by one zlib stream at level 9. --tree packs a plain archive of
every file below DIR (names relative, '\\' separators, code page 932). --raw
packs FILE's bytes as they are. --filler N adds an entry FILLER.DAT of N
incompressible bytes, so that the archive spans several of the unpack step's
writes.

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
import zlib


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


def write_archive(entries):
    count = len(entries)
    index, data = [], []
    offset = 8 + 72 * count
    for name, body in entries:
        if len(name) > 63:
            sys.exit("make_payload: name too long: %r" % name)
        record = name.ljust(64, b"\0") + struct.pack("<II", offset + 72, len(body))
        index.append(record)
        data.append(record + body)
        offset += 72 + len(body)
    return b"QRB\0" + struct.pack("<I", count) + b"".join(index) + b"".join(data)


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
    args = ap.parse_args()

    if args.tree:
        entries = collect_tree(args.tree)
        if args.filler:
            entries.append((b"FILLER.DAT", random.Random(13).randbytes(args.filler)))
        archive = write_archive(sorted(entries, key=lambda e: e[0]))
    else:
        archive = open(args.raw, "rb").read()
    stream = zlib.compress(archive, 9)
    header = b"__packtmp__.tmp".ljust(32, b"\0") + struct.pack("<II", len(archive), len(stream))
    payload = bytearray(header + stream)
    if args.unpacked_size is not None:
        payload[32:36] = struct.pack("<I", args.unpacked_size)
    if args.size_delta is not None:
        payload[32:36] = struct.pack("<I", len(archive) + args.size_delta)
    if args.flip is not None:
        at = args.flip if args.flip < 0 else 40 + args.flip
        payload[at] ^= 0xFF
    if args.append is not None:
        payload += b"\0" * args.append
    if args.cut is not None:
        payload = payload[: args.cut]
    with open(args.out, "wb") as f:
        f.write(payload)


if __name__ == "__main__":
    main()
