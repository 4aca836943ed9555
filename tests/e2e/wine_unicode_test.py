#!/usr/bin/python3
"""The Windows build under Wine converts an export whose folder and file names are not ASCII: every message
arrives, every folder keeps its name, nothing is left beside the .pst, and Linux's readers read the result.

Usage: wine_unicode_test.py --convert velmora-convert.exe

Exit status 0 passed, 1 failed, 77 skipped (no wine, or no Windows build), with the reason on standard output.
WINEPATH must name the folders of the DLLs the program needs (scripts/win-tests.sh sets it).
"""
import argparse
import email.message
import json
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK_READERS = os.path.join(os.path.dirname(HERE), "readers", "check_readers.py")

# Folder -> message files in it, below the mailbox folder. Names from several scripts, a name with a
# character outside the Basic Multilingual Plane, and message files with such names too.
TREE = {
    "Inbox": ["Grüße_日本.eml", "plain.eml"],
    "Ελληνικά": ["Καλημέρα.eml", "b.eml"],
    "Ελληνικά/Zürich_東京": ["😀.eml"],
    "Проекты": ["отчёт.eml"],
}
MAILBOX = "Zürich_東京"


def message(subject, n):
    m = email.message.EmailMessage()
    m["From"] = "Ärger Ölfaß <a@example.com>"
    m["To"] = "b@example.org"
    m["Subject"] = subject
    m["Date"] = "Mon, 01 Jan 2024 10:%02d:00 +0000" % n
    m["Message-ID"] = "<wine-%d@velmora.test>" % n
    m.set_content("Körper %d — テキスト\n" % n)
    return m.as_bytes()


def windows_path(path):
    return subprocess.run(["winepath", "-w", path], capture_output=True, text=True, check=True).stdout.strip()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--convert", required=True)
    args = parser.parse_args()
    if not shutil.which("wine") or not shutil.which("winepath"):
        print("skipped: wine is not installed")
        return 77
    if not os.path.isfile(args.convert):
        print("skipped: no Windows build of velmora-convert at " + args.convert)
        return 77

    with tempfile.TemporaryDirectory(prefix="velmora-wine-") as tmp:
        source = os.path.join(tmp, "export", MAILBOX)
        n = 0
        for folder, files in TREE.items():
            os.makedirs(os.path.join(source, folder))
            for name in files:
                n += 1
                with open(os.path.join(source, folder, name), "wb") as fh:
                    fh.write(message(os.path.splitext(name)[0], n))
        out = os.path.join(tmp, "out")
        os.makedirs(out)
        pst = os.path.join(out, MAILBOX + ".pst")
        run = subprocess.run(["wine", args.convert, "--quiet", "--json", "--verify", windows_path(source),
                              windows_path(pst)], capture_output=True, timeout=600)
        stdout = run.stdout.decode("utf-8", "replace")
        problems = []
        if run.returncode != 0:
            problems.append("velmora-convert.exe exited with %d: %s %s" %
                            (run.returncode, stdout, run.stderr.decode("utf-8", "replace")[-2000:]))
        left = sorted(set(os.listdir(out)) - {MAILBOX + ".pst"})
        if left:
            problems.append("left beside the .pst: %s" % left)
        if not os.path.isfile(pst):
            problems.append("no %s was written" % pst)
        else:
            expected = {"folders": {("Inbox" if f == "Inbox" else f): len(files) for f, files in TREE.items()}}
            want = os.path.join(tmp, "expected.json")
            with open(want, "w", encoding="utf-8") as fh:
                json.dump(expected, fh, ensure_ascii=False)
            check = subprocess.run(["/usr/bin/python3", CHECK_READERS, pst, want], capture_output=True, text=True)
            if check.returncode == 77:
                print("readers not installed: the file was written, not read back")
            elif check.returncode != 0:
                problems.append("the readers: " + check.stdout + check.stderr)
        for p in problems:
            print("PROBLEM: " + p)
        print("%d messages in %d folders: %s" % (n, len(TREE), "failed" if problems else "all arrived"))
        return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
