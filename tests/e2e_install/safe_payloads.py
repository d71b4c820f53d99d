#!/usr/bin/env python3
"""Installation, archive and checks of the safe-install end-to-end tests.

safe_payloads.py archive OUT [--later] --exes DIR
                                                 the update's plain archive (--later:
                                                 a later update, of LATER.TXT alone)
safe_payloads.py setup INSTALL [--log-lines N] --exes DIR
                                                 the installation it updates
safe_payloads.py check STATE INSTALL DRIVE_C --exes DIR [--log-lines N]
    STATE "old":   the installation exactly as set up, nothing left behind;
    STATE "new":   exactly what a clean run leaves, nothing left behind;
    STATE "later": what clean runs of the update and the later one leave;
    STATE "torn":  after a kill: every file old or whole new, the log old or
                   new lines only, every old line kept, only whole lines.
safe_payloads.py kill MOMENT INSTALL PREFIX
    waits for MOMENT (work: the work file; stage: BIG.DAT's staging file past
    1 MiB; commit: the journal of the commit; log: the new log's sibling),
    seen by watching the updater's files, then SIGKILLs the updater of PREFIX.
    Exit 0 killed, 1 missed.
"""
import argparse
import os
import signal
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import archive_builder  # noqa: E402

INSTALL_WIN = "C:\\ゲーム\\デモ"
SIBLING = "~QXNEW~.TMP"
JOURNAL = "~QXJRNL.TMP"
BIG_STAGING = "~QX00002.TMP"  # BIG.DAT is entry 2
WORK = "__updatetmp__.tmd"
MIB = 1 << 20
BIG_NEW = 4 * MIB
BIG_OLD = 3 * MIB


def pattern(seed, size):
    """Bytes that zlib packs well, differ from seed to seed, and never start
    with the quote that starts a log line (the kill test tells siblings apart by it)."""
    block = bytes((i * 131 + seed * 17 + 1 + (i >> 8) * 7) & 0xFF for i in range(4096))
    return (block * (size // 4096 + 1))[:size]


def sample(exes, name):
    with open(os.path.join(exes, name + ".exe"), "rb") as f:
        return f.read()


def later_files():
    """A later update of one file: it finishes a killed update only through its journal."""
    return {"LATER.TXT": b"later"}


def new_files(exes, later=False):
    """The entries of the update in order (with the later one's after them):
    name (as installed) -> bytes."""
    files = {"A.TXT": b"new a", "GAME.EXE": sample(exes, "v1002"), "BIG.DAT": pattern(2, BIG_NEW),
             "SUB\\B.TXT": b"new b", "HELD.TXT": b"new held"}
    for i in range(150):
        files["MANY\\F%03d.TXT" % i] = b"many %d\r\n" % i * (i + 1)
    files["NEW\\DEEP\\C.TXT"] = b"new c"
    files["LATE.TXT"] = b"new late"
    if later:
        files.update(later_files())
    return files


def old_files(exes):
    return {"A.TXT": b"old a", "GAME.EXE": sample(exes, "v1001"), "BIG.DAT": pattern(1, BIG_OLD),
            "SUB\\B.TXT": b"old b", "HELD.TXT": b"old held", "LATE.TXT": b"old late",
            "KEEP.TXT": b"not in the update"}


def old_log_lines(count):
    # Long lines, so that a log of a few MiB needs few of them.
    return [('"%s\\OLD\\%s%05d.DAT"' % (INSTALL_WIN, "長い名前" * 20, i)).encode("cp932")
            for i in range(count)]


def fold(line):
    return bytes(b + 32 if 0x41 <= b <= 0x5A else b for b in line)


def new_log(exes, log_lines, later=False):
    new = [('"%s\\%s"' % (INSTALL_WIN, n)).encode("cp932") for n in new_files(exes, later)]
    lines = sorted(old_log_lines(log_lines) + new, key=fold)
    return b"".join(line + b"\r\n" for line in lines)


def write_archive(exes, out, later):
    files = later_files() if later else new_files(exes)
    with open(out, "wb") as f:
        f.write(archive_builder.archive([(n.encode("cp932"), d) for n, d in files.items()]))


def host(install, name):
    return os.path.join(install, *name.split("\\"))


def setup(install, exes, log_lines):
    for name, data in old_files(exes).items():
        os.makedirs(os.path.dirname(host(install, name)), exist_ok=True)
        with open(host(install, name), "wb") as f:
            f.write(data)
    with open(host(install, "install.log"), "wb") as f:
        f.write(b"".join(line + b"\r\n" for line in old_log_lines(log_lines)))


def tree(root):
    found = {}
    for base, dirs, files in os.walk(root):
        for f in files:
            path = os.path.join(base, f)
            with open(path, "rb") as fh:
                found[os.path.relpath(path, root).replace(os.sep, "\\")] = fh.read()
    return found


def leftovers(drive_c):
    out = []
    for base, dirs, files in os.walk(drive_c):
        if base.startswith(os.path.join(drive_c, "windows")):
            continue
        out += [os.path.join(base, f) for f in files
                if f.upper().startswith("~QX") or f.lower() == WORK or f.startswith("_tmp_")]
    return out


def check(state, install, drive_c, exes, log_lines):
    problems = []
    found = tree(install)
    log = found.pop("install.log", None)
    old, new = old_files(exes), new_files(exes)
    old_log = b"".join(line + b"\r\n" for line in old_log_lines(log_lines))
    if state == "torn":
        for name, data in sorted(found.items()):
            if name.split("\\")[-1].upper().startswith("~QX") or name == WORK:
                continue
            if data != old.get(name) and data != new.get(name):
                problems.append("%s is neither old nor whole new (%d bytes)" % (name, len(data)))
        problems += ["%s is gone" % n for n in old if n not in found]
        # The log is saved once, whole, after the renames: old or new, never between.
        if log not in (old_log, new_log(exes, log_lines)):
            problems.append("install.log is neither the old nor the new one")
    else:
        if state == "old":
            want, want_log = old, old_log
        else:
            want, want_log = dict(old), new_log(exes, log_lines, state == "later")
            want.update(new_files(exes, state == "later"))
        for name in sorted(set(found) | set(want)):
            if found.get(name) != want.get(name):
                problems.append("%s: %s bytes, want %s" % (
                    name, len(found[name]) if name in found else "no", len(want.get(name, b"")) if name in want else "none"))
        if log != want_log:
            problems.append("install.log differs (%s bytes, want %d)" % (len(log) if log else "no", len(want_log)))
        problems += ["left behind: %s" % p for p in leftovers(drive_c)]
    for p in problems:
        print("FAIL [%s]: %s" % (state, p), file=sys.stderr)
    return 1 if problems else 0


def updater_pids(prefix):
    pids = []
    for pid in os.listdir("/proc"):
        if not pid.isdigit():
            continue
        try:
            with open("/proc/%s/cmdline" % pid, "rb") as f:
                cmd = f.read()
            with open("/proc/%s/environ" % pid, "rb") as f:
                env = f.read().split(b"\0")
        except OSError:
            continue
        if b"update.exe" in cmd and b"robot" not in cmd and ("WINEPREFIX=" + prefix).encode() in env:
            pids.append(int(pid))
    return pids


def size(path):
    try:
        return os.stat(path).st_size
    except OSError:
        return -1


def head(path):
    try:
        with open(path, "rb") as f:
            return f.read(1)
    except OSError:
        return b""


def journal_state(install):
    try:
        with open(os.path.join(install, JOURNAL), "rb") as f:
            return f.readline().split()[-1].decode()
    except (OSError, IndexError):
        return ""


def kill(moment, install, prefix):
    sibling, work = os.path.join(install, SIBLING), os.path.join(install, WORK)
    reached = {
        "work": lambda: size(work) >= 0,
        "stage": lambda: size(os.path.join(install, BIG_STAGING)) >= MIB,
        "commit": lambda: journal_state(install) == "COMMIT",
        # The journal is replaced through the same sibling; the log's starts
        # with a quote.
        "log": lambda: head(sibling) == b'"',
    }[moment]
    deadline = time.time() + 120
    pids = []
    while time.time() < deadline:
        # Found early, so that the kill follows the moment closely.
        pids = pids or updater_pids(prefix)
        if reached():
            pids = pids or updater_pids(prefix)
            for pid in pids:
                os.kill(pid, signal.SIGKILL)
            if pids:
                return 0
        if moment != "work" and not os.path.exists(work) and size(os.path.join(install, "BIG.DAT")) == BIG_NEW \
                and not updater_pids(prefix):
            break  # ran to its end unseen
    print("moment %s missed" % moment, file=sys.stderr)
    return 1


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("command", choices=["archive", "setup", "check", "kill"])
    ap.add_argument("args", nargs="*")
    ap.add_argument("--exes")
    ap.add_argument("--log-lines", type=int, default=4000)
    ap.add_argument("--later", action="store_true")
    a = ap.parse_args()
    if a.command == "archive":
        write_archive(a.exes, a.args[0], a.later)
    elif a.command == "setup":
        setup(a.args[0], a.exes, a.log_lines)
    elif a.command == "check":
        sys.exit(check(a.args[0], a.args[1], a.args[2], a.exes, a.log_lines))
    else:
        sys.exit(kill(*a.args))


if __name__ == "__main__":
    main()
