#!/usr/bin/python3
"""Checks the messages of one folder of a .pst, as pypff and pffexport read them, against what a mail user
expects to see (EXPECTED in broken_mail/expected.py), for mail whose source Python's own parse cannot be the
reference for.

Usage: expect_messages.py MANIFEST.json FILE.pst   (the manifest of compare_messages.py)
Exit status 0 when every expected field matches, 1 otherwise, 77 when a reader is not installed.
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "broken_mail"))
import compare_messages as cm  # noqa: E402
from expected import EXPECTED  # noqa: E402


def embedded_bodies(pst, folder_path):
    """The plain-text body of each attached message, per message, as pffexport writes them out."""
    tmp = tempfile.mkdtemp()
    try:
        target = os.path.join(tmp, "x")
        subprocess.run(["pffexport", "-q", "-m", "items", "-f", "all", "-t", target, pst],
                       capture_output=True)
        base = target + ".export"
        top = [n for n in os.listdir(base) if n.startswith("Top of ")]
        d = os.path.join(base, top[0], *[p for p in folder_path.split("/") if p])
        out = []
        for name in sorted(n for n in os.listdir(d) if re.match(r"^(Message|Email|Note)\d{5}$", n)):
            bodies = []
            ad = os.path.join(d, name, "Attachments")
            for att in sorted(os.listdir(ad)) if os.path.isdir(ad) else []:
                inner = os.path.join(ad, att)
                for m in sorted(os.listdir(inner)) if os.path.isdir(inner) else []:
                    p = os.path.join(inner, m, "Message.txt")
                    bodies.append(cm.norm_text(open(p, "rb").read()) if os.path.exists(p) else None)
            out.append(bodies)
        return out
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def prop_value(pst, folder_path, index, pid):
    """A property of the folder's message `index` as pypff reads it: bytes, or a bool for PtypBoolean."""
    import pypff
    f = pypff.file()
    f.open(pst)
    try:
        entry = cm.pypff_entries(cm.pypff_folder(f, folder_path).get_sub_message(index)).get(pid)
        if entry is None:
            return None
        return bool(entry.data_as_boolean) if entry.value_type == 0x000B else entry.data
    finally:
        f.close()


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    if not shutil.which("pffexport") or cm.safe(lambda: __import__("pypff")) is None:
        print("independent readers not installed (pff-tools, python3-pypff)")
        return 77
    with open(argv[1]) as fh:
        manifest = json.load(fh)
    files = [os.path.basename(p) for p in manifest["files"]]
    pypff_seen = cm.read_pypff(argv[2], manifest["folder"])
    pff_seen = cm.read_pffexport(argv[2], manifest["folder"])
    embedded = embedded_bodies(argv[2], manifest["folder"])
    failures = []
    if len(pypff_seen) != len(files) or len(pff_seen) != len(files):
        print("readers list %d and %d messages, %d were saved" % (len(pypff_seen), len(pff_seen), len(files)))
        return 1
    for i, name in enumerate(files):
        want = EXPECTED.get(name)
        if want is None:
            failures.append("%s: no expectation written" % name)
            continue
        got = pypff_seen[i]
        checks = []
        if "subject" in want:
            checks.append(("subject", want["subject"], got["subject"]))
        if "sender" in want:
            checks.append(("sender", (want["sender"][0], want["sender"][1].lower()), got["sender"]))
        if "recipients" in want:
            shown = pff_seen[i]["recipients"]
            checks.append(("recipients", [x for n, a in want["recipients"] for x in (n, a)], shown))
        for field in ("message_id", "date"):
            if field in want:
                checks.append((field, want[field], got[field]))
        for pid, value in sorted(want.get("props", {}).items()):
            checks.append(("property 0x%04X" % pid, value, prop_value(argv[2], manifest["folder"], i, pid)))
        if "body_text" in want:
            checks.append(("body_text", cm.norm_text(want["body_text"]), got["body_text"]))
        if "body_html" in want:
            html = got["body_html"] or ""
            shown = want["body_html"] if want["body_html"] in html else html  # the HTML holds the text
            checks.append(("body_html", want["body_html"], shown))
        if "attachments" in want:
            checks.append(("attachments", sorted(cm.sha(a) for a in want["attachments"]), got["attachments"]))
        if "embedded_bodies" in want:
            bodies = [cm.norm_text(b) for b in want["embedded_bodies"]]
            checks.append(("embedded_bodies", bodies, embedded[i]))
        for field, w, g in checks:
            ok = w == g
            print("%-4s %s %s" % ("ok" if ok else "DIFF", name, field))
            if not ok:
                failures.append("%s %s: want %s, read %s" % (name, field, cm.show(w), cm.show(g)))
    for f in failures:
        print("  " + f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
