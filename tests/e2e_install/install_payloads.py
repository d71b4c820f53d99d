#!/usr/bin/env python3
"""Archives, installations and expectations of the install-step end-to-end tests.

install_payloads.py archive VARIANT OUT --exes DIR
    writes the plain archive of VARIANT (raw code page 932 names, so entries
    that the publishing tools refuse can be made too).
install_payloads.py setup VARIANT INSTALL --exes DIR
    lays out the installation that VARIANT's scenario starts from.
install_payloads.py boxes VARIANT INSTALL_WIN
    prints the message boxes the install step must show (robot's format, UTF-8).
install_payloads.py check VARIANT INSTALL DRIVE_C INSTALL_WIN --exes DIR
    compares the installation after the run with what VARIANT expects: every
    file byte for byte, no other file, install.log byte for byte, no temporary
    copy or work file left, nothing written outside the install directory.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import archive_builder  # noqa: E402

CAPTION = "アップデート"
CAPTION_ERROR = "アップデートエラー"
TITLE = "デモゲーム"
UPDATE_FAILED = "ファイル %s の更新に失敗しました"
READ_FAILED = "ファイル %s の読み込みに失敗しました"
NO_MEMORY = "メモリの確保に失敗しました"
WORK_OPEN_FAILED = "作業ファイルのオープンに失敗しました"
DONE = "アップデートが終了しました"
MORE_FAILED = "ほかに %d 個のファイルも更新できません。"
NOT_APPLIED = "アップデートは適用されませんでした。ゲームのファイルは変更されていません。"


class Entry:
    def __init__(self, name, data, claimed_extra=0):
        self.name = name  # str; encoded to code page 932
        self.data = data
        self.claimed_extra = claimed_extra


def sample(exes, name):
    with open(os.path.join(exes, name + ".exe"), "rb") as f:
        return f.read()


def upper_ascii(name):
    """The reader's upper-casing: a-z only, double-byte characters stepped over."""
    out = bytearray()
    raw = name.encode("cp932")
    i = 0
    while i < len(raw):
        b = raw[i]
        if (0x81 <= b <= 0x9F or 0xE0 <= b <= 0xEF) and i + 1 < len(raw):
            t = raw[i + 1]
            if 0x40 <= t <= 0x7E or 0x80 <= t <= 0xFC:
                out += raw[i:i + 2]
                i += 2
                continue
        out.append(b - 32 if 0x61 <= b <= 0x7A else b)
        i += 1
    return bytes(out).decode("cp932")


# --- variants --------------------------------------------------------------

# name in the archive -> (new sample, installed sample or None, installed after?)
GATE = [
    ("NEWER.EXE", "v1002", "v1001", True),
    ("EQUAL.EXE", "v1001b", "v1001", True),
    ("OLDER.EXE", "v1001", "v1002", False),
    ("THIRD.EXE", "v1020", "v1019", True),   # 1.0.2.0 over 1.0.1.9
    ("FOURTH.EXE", "v1019", "v1020", False),  # 1.0.1.9 over 1.0.2.0
    ("DOTS.EXE", "vdots", "v1001", False),    # dots only read as 0.0.0.0
    ("UNDOTS.EXE", "v1001", "vdots", True),
    ("NOVER.EXE", "vnone", "v1001", False),   # no version resource in the new file
    ("MISSING.EXE", "v1001", None, True),     # nothing installed yet
    ("BIN\\TOOL.EXE", "v1002", "v1001", True),
    ("BIN\\OLD.exe", "v1001", "v1002", False),
    ("NEWDIR\\SETUP.EXE", "v1001", None, True),  # directory made first
]


def gate_entries(exes):
    return [Entry(n, sample(exes, new)) for n, new, _, _ in GATE]


def big_entries(exes):
    entries = []
    for i in range(60):
        entries.append(Entry("データ\\ファイル%03d.DAT" % i, ("file %d\r\n" % i).encode() * (i + 1)))
    for i in range(20):  # 0x5C as the second byte of 表 and ソ
        entries.append(Entry("表示\\ソース%02d.txt" % i, bytes(range(256)) * i))
    for i in range(10):
        entries.append(Entry("a\\b\\c\\深い%d.bin" % i, bytes([i]) * (1000 * i + 1)))
    entries.append(Entry("EMPTY.DAT", b""))
    entries.append(Entry("readme.txt", "お読みください\r\n".encode("cp932")))
    for i in range(8):
        entries.append(Entry("トップ%d.TXT" % i, ("top %d" % i).encode()))
    assert len(entries) == 100
    return entries


def readonly_entries(exes):
    return [Entry("A.TXT", b"new a"), Entry("RO.TXT", b"new ro"), Entry("C.TXT", b"new c"),
            Entry("SHORT.TXT", b"truncated", claimed_extra=16)]


UNSAFE_REFUSED = ["..\\ESCAPE1.TXT", "SUB\\..\\..\\ESCAPE2.TXT", "\\ESCAPE3.TXT", "C:ESCAPE4.TXT",
                  "SUB/../../ESCAPE5.TXT", ".."]


def unsafe_entries(exes):
    entries = [Entry(n, b"must not be written") for n in UNSAFE_REFUSED[:3]]
    entries.append(Entry("OK.TXT", b"ok"))
    entries += [Entry(n, b"must not be written") for n in UNSAFE_REFUSED[3:]]
    # 表 ends in 0x5C: the ".." after it is no component of its own.
    entries.append(Entry("表..INSIDE.TXT", b"inside"))
    return entries


def nomemory_entries(exes):
    # HUGE.TXT claims nearly 4 GiB: copied in bounded steps, it needs no block
    # of that size, and is reported as the short read it is; A.TXT, staged
    # before it, is never installed.
    return [Entry("A.TXT", b"new a"), Entry("HUGE.TXT", b"x", claimed_extra=0xFFFFFF00),
            Entry("C.TXT", b"new c")]


def notarchive_entries(exes):
    return []  # the work file is not even an archive header


VARIANTS = {"gate": gate_entries, "big": big_entries, "readonly": readonly_entries,
            "unsafe": unsafe_entries, "nomemory": nomemory_entries,
            "notarchive": notarchive_entries}

OLD_BIG_LOG = '"C:\\ゲーム\\デモ\\readme.txt"\n"C:\\ゲーム\\デモ\\OLD\\GONE.DAT"\n\n'


# --- archive ---------------------------------------------------------------

def write_archive(entries, out, variant=None):
    if variant == "notarchive":
        data = archive_builder.MAGIC + b"\x01"  # shorter than an archive header
    else:
        data = archive_builder.archive([
            archive_builder.Entry(e.name.encode("cp932"), e.data,
                                  size=len(e.data) + e.claimed_extra if e.claimed_extra else None)
            for e in entries])
    with open(out, "wb") as f:
        f.write(data)


# --- installation on the host side ------------------------------------------

def host_path(install, name):
    return os.path.join(install, *name.split("\\"))


def put(install, name, data, mode=None):
    path = host_path(install, name)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    if mode is not None:
        os.chmod(path, mode)


def setup(variant, install, exes):
    os.makedirs(install, exist_ok=True)
    if variant == "gate":
        for name, _, old, _ in GATE:
            if old:
                put(install, name.upper(), sample(exes, old))
    elif variant == "big":
        put(install, "install.log", OLD_BIG_LOG.encode("cp932"))
    elif variant == "readonly":
        put(install, "RO.TXT", b"old ro", 0o444)
        put(install, "SHORT.TXT", b"old short")
        put(install, "install.log", OLD_BIG_LOG.encode("cp932"))
    elif variant in ("nomemory", "unsafe"):
        put(install, "HUGE.TXT", b"old huge")
        put(install, "install.log", OLD_BIG_LOG.encode("cp932"))
    elif variant == "notarchive":
        put(install, "install.log", OLD_BIG_LOG.encode("cp932"))
        put(install, "KEEP.TXT", b"kept")


# Variants whose update stops before the commit: nothing of theirs is installed.
NOT_APPLIED_VARIANTS = ("readonly", "unsafe", "nomemory", "notarchive")


def expected_files(variant, exes):
    """Relative name (as the updater spells it) -> bytes, install.log left out."""
    files = {}
    if variant == "gate":
        for name, new, old, replaced in GATE:
            name = name.upper()
            if replaced:
                files[name] = sample(exes, new)
            elif old:
                files[name] = sample(exes, old)
        return files
    if variant == "readonly":
        return {"RO.TXT": b"old ro", "SHORT.TXT": b"old short"}
    if variant in ("nomemory", "unsafe"):
        return {"HUGE.TXT": b"old huge"}
    if variant == "notarchive":
        return {"KEEP.TXT": b"kept"}
    for e in VARIANTS[variant](exes):
        files[upper_ascii(e.name)] = e.data
    return files


def logged(variant, exes):
    """The names this run writes a log line for."""
    if variant == "gate":
        return [n.upper() for n, _, _, replaced in GATE if replaced]
    return [n for n in expected_files(variant, exes)]


def fold(line):
    return bytes(b + 32 if 0x41 <= b <= 0x5A else b for b in line)


def expected_log(variant, install_win, exes):
    if variant in NOT_APPLIED_VARIANTS:
        return OLD_BIG_LOG.encode("cp932")  # untouched: not even rewritten
    old = OLD_BIG_LOG.encode("cp932").split(b"\n")[:-1] if variant == "big" else []
    new = [('"%s\\%s"' % (install_win, n)).encode("cp932") for n in logged(variant, exes)]
    lines, seen = [], set()
    for line in sorted(old + new, key=fold):  # stable
        if fold(line) not in seen:
            seen.add(fold(line))
            lines.append(line)
    return b"".join(line + b"\r\n" for line in lines)


def not_applied(text, more=0):
    lines = [text] + ([MORE_FAILED % more] if more else []) + [NOT_APPLIED]
    return "box\t%s\t%s\towner=dialog\tanswer=OK" % (CAPTION_ERROR, " | ".join(lines))


def boxes(variant, install_win):
    out = ["box\t%s\t%s%s\towner=none\tanswer=OK" % (CAPTION, TITLE, "のアップデートを行います。")]
    if variant == "readonly":  # found before anything is staged: SHORT.TXT is never read
        out.append(not_applied(UPDATE_FAILED % (install_win + "\\RO.TXT")))
    elif variant == "unsafe":  # every refused name is counted
        out.append(not_applied(UPDATE_FAILED % UNSAFE_REFUSED[0], len(UNSAFE_REFUSED) - 1))
    elif variant == "nomemory":
        out.append(not_applied(READ_FAILED % (install_win + "\\HUGE.TXT")))
    elif variant == "notarchive":
        out.append("box\t%s\t%s\towner=dialog\tanswer=OK" % (CAPTION_ERROR, WORK_OPEN_FAILED))
    else:
        out.append("box\t%s\t%s\towner=dialog\tanswer=OK" % (CAPTION, DONE))
    out.append("exit\t0")
    return out


# --- checking --------------------------------------------------------------

def tree(root):
    found = {}
    for base, dirs, files in os.walk(root):
        for f in files:
            path = os.path.join(base, f)
            rel = os.path.relpath(path, root).replace(os.sep, "\\")
            with open(path, "rb") as fh:
                found[rel] = fh.read()
    return found


def check(variant, install, drive_c, install_win, exes):
    problems = []
    found = tree(install)
    log = found.pop("install.log", None)
    want = expected_files(variant, exes)
    for name in sorted(set(found) | set(want)):
        if name not in want:
            problems.append("unexpected file %s" % name)
        elif name not in found:
            problems.append("missing file %s" % name)
        elif found[name] != want[name]:
            problems.append("wrong contents of %s (%d bytes, want %d)" % (name, len(found[name]), len(want[name])))
    want_log = expected_log(variant, install_win, exes)
    if log != want_log:
        problems.append("install.log differs:\n--- want\n%s\n--- got\n%s" % (
            want_log.decode("cp932", "replace"), (log or b"<missing>").decode("cp932", "replace")))
    for base, dirs, files in os.walk(drive_c):
        if base.startswith(os.path.join(drive_c, "windows")):
            continue
        for f in files + dirs:
            if f.startswith("_tmp_") or f.lower() == "__updatetmp__.tmd" or f.upper().startswith("~QX") \
                    or f.startswith("ESCAPE"):
                problems.append("left behind: %s" % os.path.join(base, f))
    for p in problems:
        print("FAIL [%s]: %s" % (variant, p), file=sys.stderr)
    return 1 if problems else 0


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", choices=["archive", "setup", "boxes", "check"])
    ap.add_argument("variant", choices=sorted(VARIANTS))
    ap.add_argument("paths", nargs="*")
    ap.add_argument("--exes")
    a = ap.parse_args()
    if a.command == "archive":
        write_archive(VARIANTS[a.variant](a.exes), a.paths[0], a.variant)
    elif a.command == "setup":
        setup(a.variant, a.paths[0], a.exes)
    elif a.command == "boxes":
        print("\n".join(boxes(a.variant, a.paths[0])))
    else:
        sys.exit(check(a.variant, a.paths[0], a.paths[1], a.paths[2], a.exes))


if __name__ == "__main__":
    main()
