#!/usr/bin/env python3
"""Archives and payloads for the Python and shell tests, laid out as the tools
lay them out (tools/lib/archive_layout.cpp), with the sizes and the magic read
from archive/archive_format.h and support/payload.h.

As a module:
    archive(entries, magic=MAGIC, count=None)  the bytes of a plain archive;
        entries are Entry or (name, data) pairs, names raw code page 932 bytes
    payload(archive)                           the payload resource of an archive
    unpack(image)                              the archive inside an updater's payload
    names(archive)                             the names of an archive's index

As a command:
    archive_builder.py archive OUT [--count N] [--cut N] [ENTRY...]
        ENTRY: NAME (holding "x"), NAME=N (N zero bytes) or NAME=N/M (N bytes, size
        field M), NAME as raw bytes; --count stores N as the entry count, --cut
        keeps the first N bytes
    archive_builder.py unpack UPDATER OUT      the archive of an updater
    archive_builder.py names ARCHIVE           one name a line, as UTF-8
"""
import os
import re
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def _constants(relative):
    with open(os.path.join(ROOT, relative), encoding="utf-8") as f:
        text = f.read()
    found = {m[0]: int(m[1], 0) for m in re.findall(r"\b([A-Z_]+) = (0x[0-9A-Fa-f]+|\d+)\b", text)}
    return text, found


_FORMAT, _F = _constants("archive/archive_format.h")
_PAYLOAD, _P = _constants("support/payload.h")
MAGIC = bytes(ord(c) if c != "\\0" else 0 for c in
              re.search(r"ARCHIVE_MAGIC\[[A-Z_]+\] = \{'(.)', '(.)', '(.)', '(\\0)'\}", _FORMAT).groups())
HEADER = _F["ARCHIVE_HEADER_BYTES"]
NAME = _F["ARCHIVE_NAME_BYTES"]
ENTRY = _F["ARCHIVE_INDEX_ENTRY_BYTES"]
PAYLOAD_HEADER = _P["QX_PAYLOAD_HEADER_SIZE"]
UNPACKED_SIZE_AT = _P["QX_PAYLOAD_UNPACKED_SIZE_AT"]
PACKED_SIZE_AT = _P["QX_PAYLOAD_PACKED_SIZE_AT"]
PACKED_NAME = re.search(r'#define QX_PACKED_NAME "([^"]*)"', _PAYLOAD).group(1).encode()


class Entry:
    """name: raw bytes (at most 64); offset and size: stored instead of the
    true values when given."""

    def __init__(self, name, data, offset=None, size=None):
        self.name, self.data, self.offset, self.size = name, data, offset, size


def archive(entries, magic=MAGIC, count=None):
    entries = [e if isinstance(e, Entry) else Entry(*e) for e in entries]
    position = HEADER + ENTRY * len(entries)
    index, body = [], []
    for e in entries:
        assert len(e.name) <= NAME, e.name
        position += ENTRY
        record = e.name.ljust(NAME, b"\0") + struct.pack(
            "<II", position if e.offset is None else e.offset,
            len(e.data) if e.size is None else e.size)
        index.append(record)
        body.append(record + e.data)
        position += len(e.data)
    header = magic + struct.pack("<I", len(entries) if count is None else count)
    return header + b"".join(index) + b"".join(body)


def payload(data):
    stream = zlib.compress(data, 9)
    header = bytearray(PACKED_NAME.ljust(PAYLOAD_HEADER, b"\0"))
    struct.pack_into("<I", header, UNPACKED_SIZE_AT, len(data))
    struct.pack_into("<I", header, PACKED_SIZE_AT, len(stream))
    return bytes(header) + stream


def unpack(image):
    at = image.index(PACKED_NAME + b"\0")
    unpacked = struct.unpack_from("<I", image, at + UNPACKED_SIZE_AT)[0]
    packed = struct.unpack_from("<I", image, at + PACKED_SIZE_AT)[0]
    data = zlib.decompress(image[at + PAYLOAD_HEADER:at + PAYLOAD_HEADER + packed])
    assert len(data) == unpacked
    return data


def names(data):
    count = struct.unpack_from("<I", data, len(MAGIC))[0]
    return [data[HEADER + ENTRY * i:HEADER + ENTRY * i + NAME].split(b"\0")[0]
            for i in range(count)]


def _entry(text):
    match = re.fullmatch(rb"(.*)=(\d+)(?:/(\d+))?", text, re.S)
    if not match:
        return Entry(text, b"x")
    name, length, claimed = match.groups()
    return Entry(name, bytes(int(length)), size=None if claimed is None else int(claimed))


def main(argv):
    command, args = argv[0], [os.fsencode(a) for a in argv[1:]]
    if command == "archive":
        out, options, entries = args[0], {}, args[1:]
        while entries and entries[0] in (b"--count", b"--cut"):
            options[entries[0]] = int(entries[1])
            entries = entries[2:]
        data = archive([_entry(a) for a in entries], count=options.get(b"--count"))
        with open(out, "wb") as f:
            f.write(data[:options.get(b"--cut", len(data))])
    elif command == "unpack":
        with open(args[0], "rb") as f, open(args[1] + b".partial", "wb") as out:
            out.write(unpack(f.read()))
        os.replace(args[1] + b".partial", args[1])
    elif command == "names":
        with open(args[0], "rb") as f:
            for name in names(f.read()):
                print(name.decode("cp932"))
    else:
        sys.exit(__doc__)


if __name__ == "__main__":
    main(sys.argv[1:])
