#!/usr/bin/env python3
"""Writes the seed corpora in fuzz/corpus/ from the project's own tools.

usage: fuzz/make_corpus.py TOOLS_DIR   (the build's tools/, with qxarc and qxpack)

Archives and payloads come from qxarc and qxpack over a small tree with
Japanese names and entries of sizes around the 8-byte block; the damaged
variants and the text seeds are made here. Seeds stay small (a few KB).
"""
import os
import shutil
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CORPUS = os.path.join(ROOT, "fuzz", "corpus")
sys.path.insert(0, os.path.join(ROOT, "tests"))
import archive_builder  # noqa: E402


def cp932(text):
    return text.encode("cp932")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def make_tree(top):
    """Entries of 0, 5, 8, 13 and 100 bytes, one in a Japanese directory."""
    files = {
        "readme.txt": b"hello",
        "empty.dat": b"",
        "eight.bin": b"ABCDEFGH",
        "thirteen.bin": b"0123456789abc",
        "データ/表示.txt": cp932("表示テキスト\r\n") * 6 + b"x" * 4,
        "Sub/Game.exe": bytes(range(100)),
    }
    for rel, data in files.items():
        path = os.path.join(top, *rel.split("/"))
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def run(*args):
    subprocess.run(args, check=True, stdout=subprocess.DEVNULL)


def ops(*records):
    """Archive-target ops: (opcode, value) pairs, 5 bytes each."""
    return b"".join(struct.pack("<BI", op, value & 0xFFFFFFFF) for op, value in records)


def archive_seed(flags, records, archive):
    body = ops(*records)
    return struct.pack("<BH", flags, len(body)) + body + archive


def archive_seeds(plain, enciphered):
    walk = [(0, 0), (2, 3), (3 | 1 << 3, -1), (5, 7), (0, 1), (1, 0), (6, 2), (7, 9),
            (3 | 0x80, 4), (4, 0), (5, 300), (0 | 0x80, 0xFFFFFFFF)]
    write("archive_fuzz", "plain", archive_seed(1 << 2, walk, plain))
    write("archive_fuzz", "plain-many-handles", archive_seed(6 << 2 | 0x20, walk * 3, plain))
    write("archive_fuzz", "enciphered", archive_seed(1 | 2 << 2, walk, enciphered))
    write("archive_fuzz", "enciphered-capitals", archive_seed(3 | 3 << 2, walk[:6], enciphered))
    write("archive_fuzz", "empty", archive_seed(0, [(0, 0)], archive_builder.archive([])))
    # The index claims more than the file holds: entries past the end.
    short = bytearray(plain)
    struct.pack_into("<I", short, archive_builder.HEADER + archive_builder.NAME + 4, 0x7FFFFFF0)
    write("archive_fuzz", "sizes-past-end", archive_seed(2 << 2, walk, bytes(short)))


def payload_seeds(payload):
    write("inflate_fuzz", "packed", payload)
    write("inflate_fuzz", "trailing", payload + b"\0junk")
    header = archive_builder.PAYLOAD_HEADER
    write("inflate_fuzz", "truncated", payload[: header + (len(payload) - header) // 2])
    write("inflate_fuzz", "bad-adler", payload[:-1] + bytes([payload[-1] ^ 1]))
    small = bytearray(payload)
    struct.pack_into("<I", small, archive_builder.UNPACKED_SIZE_AT, 100)
    write("inflate_fuzz", "small-capacity", bytes(small))
    write("inflate_fuzz", "header-only", payload[:header])


def text_seeds():
    log = b"".join([
        b'"C:\\Game\\README.TXT"\r\n',
        b'"c:\\game\\readme.txt"\r\n',
        cp932('"C:\\ゲーム\\データ\\表示.TXT"\r\n'),
        b"\r\n",
        b"lone\rcr\n",
        b'"C:\\Game\\Sub\\GAME.EXE"\n',
        b"last line without end",
    ])
    write("install_log_fuzz", "log", log)
    write("install_log_fuzz", "log-and-added", log + b"\0" + b'"C:\\GAME\\README.TXT"\nnew\n' +
          cp932('"C:\\ゲーム\\能.DAT"'))
    write("install_log_fuzz", "long-line", b"a\r\n" + b"L" * 300 + b"\r\n" + b"b" * 259 + b"\n")

    for name, text in [("commas", b"1, 0, 2, 5"), ("hex", b"0x10, 65536, -1, 2.5"),
                       ("dots", b"1.0.0.1"), ("three", b"3, 4, 5"),
                       ("signs", b"+7,-0x, , 99999999999")]:
        write("version_text_fuzz", name, b"\xff" + text + b"\0" + b"C:\\Game" + b"\0" +
              cp932("データ\\表示.exe"))
    write("version_text_fuzz", "japanese-field", b"\x07" + cp932("能表示ソフト、1, 2") + b"\0" +
          cp932("C:\\ゲーム\\表") + b"\0" + b"SUB/GAME.EXE")

    for name, text in [("plain", b"DATA\\STAGE01.DAT"), ("japanese", cp932("データ\\表示.txt")),
                       ("trail-5c", cp932("表\\..\\能")), ("dotdot", b"a\\..\\..\\b"),
                       ("slash", b"/etc/passwd"), ("drive", b"C:\\x"), ("dots", b"...\\. \\.")]:
        write("entry_name_fuzz", name, text)

    write("path_text_fuzz", "japanese", cp932("データ\\表示.txt\r\nソフト\\能\\予.exe\n") +
          b"\\lead\r\n\x81\\\xef\n")

    write("install_location_fuzz", "japanese.xml",
          cp932("<?xml version=\"1.0\"?><install><path>C:\\ゲーム\\表示</path></install>"))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    tools = sys.argv[1]
    qxarc, qxpack = os.path.join(tools, "qxarc"), os.path.join(tools, "qxpack")
    work = tempfile.mkdtemp(prefix="qx-corpus-")
    try:
        top = os.path.join(work, "tree")
        make_tree(top)
        plain, enciphered = os.path.join(work, "plain.arc"), os.path.join(work, "enc.arc")
        run(qxarc, "create", top, plain)
        run(qxarc, "create", top, enciphered, "--encipher", "12345")
        payload = os.path.join(work, "payload.bin")
        run(qxpack, plain, payload)
        with open(plain, "rb") as f:
            plain_bytes = f.read()
        with open(enciphered, "rb") as f:
            enciphered_bytes = f.read()
        with open(payload, "rb") as f:
            payload_bytes = f.read()
        archive_seeds(plain_bytes, enciphered_bytes)
        payload_seeds(payload_bytes)
        text_seeds()
    finally:
        shutil.rmtree(work)


if __name__ == "__main__":
    main()
