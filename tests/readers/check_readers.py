#!/usr/bin/python3
"""Checks a .pst with every independent reader from Debian and compares what they saw; Microsoft's PST SDK
(strict_reader.py) must also read it as sound when the shared tools are there.

Usage: check_readers.py FILE.pst [EXPECTED.json]

EXPECTED.json, when given: {"folders": {PATH: COUNT or {"count": N, "subjects": [...]}}, "exact": bool}
PATH as in pst_tree.py ("" = the store's top folder, "Inbox/Projects" = a sub-folder). With "exact" true the
folder set must be exactly the expected one; otherwise the expected folders must be there with those counts.

Exit status 0 when every reader read the file, the readers agree with each other, and the expectation holds;
1 otherwise, with the differences on standard output; 77 when a reader is not installed.
"""
import json
import os
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from strict_reader import strict_read  # noqa: E402
READERS = ["pypff", "pffexport", "readpst"]


def have_readers():
    if not shutil.which("pffexport") or not shutil.which("readpst"):
        return False
    return subprocess.run(["/usr/bin/python3", "-c", "import pypff"], capture_output=True).returncode == 0


def read(reader, path):
    run = subprocess.run(["/usr/bin/python3", os.path.join(HERE, "pst_tree.py"), reader, path],
                         capture_output=True, text=True)
    if run.returncode != 0:
        return {"ok": False, "error": run.stderr.strip(), "folders": {}}
    return json.loads(run.stdout)


def main():
    if len(sys.argv) not in (2, 3):
        print(__doc__, file=sys.stderr)
        return 2
    if not have_readers():
        print("independent readers not installed (pff-tools, pst-utils, python3-pypff)")
        return 77
    path = sys.argv[1]
    problems = []
    seen = {}
    for r in READERS:
        res = read(r, path)
        if not res["ok"]:
            problems.append("%s could not read the file: %s" % (r, res["error"]))
        seen[r] = res["folders"]

    problems += strict_read(path) or []

    base = seen["pypff"]
    # pffexport sees every folder; readpst only folders that hold items.
    for r in READERS[1:]:
        other = seen[r]
        for p in sorted(set(base) | set(other)):
            a = base.get(p)
            b = other.get(p)
            if r == "readpst" and b is None and a is not None and a["count"] == 0:
                continue
            if r == "readpst" and a is not None and b is not None:
                a = {"count": a["count"]}
                b = {"count": b["count"]}
            if a != b:
                problems.append("%s and pypff differ at %r: %s vs %s" % (r, p, b, a))

    if len(sys.argv) == 3:
        with open(sys.argv[2], encoding="utf-8") as fh:
            expected = json.load(fh)
        want = expected.get("folders", {})
        for p, w in sorted(want.items()):
            got = base.get(p)
            if got is None:
                problems.append("expected folder %r is missing" % p)
                continue
            if isinstance(w, int):
                w = {"count": w}
            if got["count"] != w["count"]:
                problems.append("folder %r holds %d messages, expected %d" % (p, got["count"], w["count"]))
            if "subjects" in w and sorted(w["subjects"]) != got["subjects"]:
                problems.append("folder %r subjects %r, expected %r" % (p, got["subjects"], sorted(w["subjects"])))
        if expected.get("exact"):
            for p in sorted(set(base) - set(want)):
                problems.append("unexpected folder %r" % p)

    print(json.dumps({"pypff": base}, ensure_ascii=False, sort_keys=True))
    for line in problems:
        print("PROBLEM: " + line)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
