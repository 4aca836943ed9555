#!/usr/bin/python3
"""Hostile single messages: what converting each costs in time and peak memory, and what becomes of it.

Usage: hostile.py --build BUILD_DIR [--work DIR] [--cases recipients,attachments,header]

  recipients   one message To 100,000 people
  attachments  one message with 10,050 small attachments, past the per-message limit of 10,000
  header       one message with a 50 MB header line

Each is written into an export of its own and converted with velmora-convert; peak RSS comes from wait4() of
the child, as in bench.py. A case is not a failure when it is reported not converted: the line says why.
"""
import argparse
import os
import shutil
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from bench import run_measured  # noqa: E402


# Each writes its message in pieces: a child forked from a Python holding the whole message would inherit
# that memory in its peak RSS.
def recipients(f):
    f.write(b"From: a@example.com\r\nTo: ")
    for i in range(100000):
        f.write(b'%s"Person %d" <p%d@example.com>' % (b", " if i else b"", i, i))
    f.write(b"\r\nSubject: many recipients\r\n\r\nHello.\r\n")


def attachments(f):
    f.write(b"From: a@example.com\r\nSubject: many attachments\r\n"
            b"Content-Type: multipart/mixed; boundary=b\r\n\r\n")
    for i in range(10050):
        f.write(b'--b\r\nContent-Type: application/octet-stream\r\n'
                b'Content-Disposition: attachment; filename="f%d.bin"\r\n'
                b'Content-Transfer-Encoding: base64\r\n\r\nQUJD\r\n' % i)
    f.write(b"--b--\r\n")


def header(f):
    f.write(b"From: a@example.com\r\nX-Long: ")
    for _ in range(50):
        f.write(b"x" * (1 << 20))
    f.write(b"\r\nSubject: a long header\r\n\r\nHello.\r\n")


CASES = {"recipients": recipients, "attachments": attachments, "header": header}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    ap.add_argument("--work")
    ap.add_argument("--cases", default=",".join(CASES))
    args = ap.parse_args()
    convert = os.path.join(args.build, "cli", "velmora-convert")
    work = args.work or tempfile.mkdtemp(prefix="velmora-hostile-")
    print("| case | .eml | convert wall | convert CPU | peak RSS | outcome |")
    for name in args.cases.split(","):
        box = os.path.join(work, name)
        shutil.rmtree(box, ignore_errors=True)
        os.makedirs(os.path.join(box, "Inbox"))
        eml = os.path.join(box, "Inbox", "m.eml")
        with open(eml, "wb") as f:
            CASES[name](f)
        out = os.path.join(work, name + ".pst")
        if os.path.exists(out):
            os.remove(out)
        # A file that is not converted makes the exit status 1; run_measured shows the reason above the row.
        rc, wall, cpu, rss, _ = run_measured([convert, "--quiet", box, out])
        outcome = {0: "converted", 1: "not converted"}.get(rc, "exit %d" % rc)
        print("| %s | %.1f MB | %.2f s | %.2f s | %d MiB | %s |" %
              (name, os.path.getsize(eml) / 1e6, wall, cpu, rss >> 20, outcome))
    if not args.work:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
