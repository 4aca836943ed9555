#!/usr/bin/python3
"""Reads a .pst with one of Debian's independent PST readers and prints what it saw as JSON.

Usage: pst_tree.py READER FILE.pst
READER: pypff (python3-pypff), pffexport (pff-tools), readpst (pst-utils).

Output: {"reader": ..., "ok": bool, "error": text, "folders": {PATH: {"count": N, "subjects": [...]}}}
PATH is the folder's path below the store's top folder ("Top of Personal Folders"), parts joined with "/";
the top folder itself is "". Only pypff sees empty folders reliably; readpst creates no directory for a folder
without items, so callers compare readpst on folders that hold messages. readpst writes each message's
original header block (PidTagTransportMessageHeaders) when there is one, so its subjects are the raw header
text (folding, 8-bit bytes and all): its "subjects" are null and callers compare its counts.
"""
import json
import os
import re
import subprocess
import sys
import tempfile


def read_pypff(path):
    import pypff  # Debian's python3-pypff, for /usr/bin/python3

    f = pypff.file()
    f.open(path)
    root = f.get_root_folder()
    top = None
    for i in range(root.number_of_sub_folders):
        sub = root.get_sub_folder(i)
        if (sub.name or "").startswith("Top of "):
            top = sub
    if top is None:
        raise RuntimeError("no top folder below the root")
    folders = {}

    def walk(folder, rel):
        subjects = []
        for j in range(folder.number_of_sub_messages):
            m = folder.get_sub_message(j)
            subjects.append(m.subject or "")
        folders[rel] = {"count": len(subjects), "subjects": sorted(subjects)}
        for i in range(folder.number_of_sub_folders):
            sub = folder.get_sub_folder(i)
            walk(sub, (rel + "/" if rel else "") + (sub.name or ""))

    walk(top, "")
    f.close()
    return folders


MESSAGE_DIR = re.compile(r"^(Message|Email|Meeting|Note|Task|Contact|Appointment|Activity|Document)\d{5}$")


def read_pffexport(path):
    with tempfile.TemporaryDirectory() as tmp:
        target = os.path.join(tmp, "x")
        run = subprocess.run(["pffexport", "-q", "-m", "items", "-f", "text", "-t", target, path],
                             capture_output=True, text=True, errors="replace")
        if run.returncode != 0:
            raise RuntimeError("pffexport failed: " + run.stdout[-2000:] + run.stderr[-2000:])
        base = target + ".export"
        top = None
        for name in sorted(os.listdir(base)):
            if name.startswith("Top of "):
                top = os.path.join(base, name)
        if top is None:
            raise RuntimeError("pffexport wrote no top folder")
        folders = {}

        def walk(d, rel):
            subjects = []
            for name in sorted(os.listdir(d)):
                full = os.path.join(d, name)
                if not os.path.isdir(full):
                    continue
                if MESSAGE_DIR.match(name):
                    subjects.append(pffexport_subject(full))
                else:
                    walk(full, (rel + "/" if rel else "") + name)
            folders[rel] = {"count": len(subjects), "subjects": sorted(subjects)}

        walk(top, "")
        return folders


def pffexport_subject(msgdir):
    # Mail items carry their header block; other kinds (a meeting request) only the item's own summary file.
    hdr = os.path.join(msgdir, "OutlookHeaders.txt")
    if not os.path.exists(hdr):
        hdr = os.path.join(msgdir, re.sub(r"\d{5}$", "", os.path.basename(msgdir)) + ".txt")
    if not os.path.exists(hdr):
        return ""
    with open(hdr, encoding="utf-8", errors="replace") as fh:
        for line in fh:
            if line.startswith("Subject:"):
                return line[len("Subject:"):].strip()
    return ""


def read_readpst(path):
    # One job: readpst's parallel jobs can pick the same output name for two messages and lose one.
    import email
    import email.policy

    with tempfile.TemporaryDirectory() as tmp:
        run = subprocess.run(["readpst", "-j", "0", "-e", "-D", "-q", "-o", tmp, path], capture_output=True, text=True,
                             errors="replace")
        if run.returncode != 0:
            raise RuntimeError("readpst failed: " + run.stdout[-2000:] + run.stderr[-2000:])
        tops = [n for n in os.listdir(tmp) if os.path.isdir(os.path.join(tmp, n))]
        folders = {}
        if not tops:
            return folders
        if len(tops) != 1:
            raise RuntimeError("readpst wrote several top folders: %r" % tops)
        top = os.path.join(tmp, tops[0])

        def walk(d, rel):
            count = 0
            for name in sorted(os.listdir(d)):
                full = os.path.join(d, name)
                if os.path.isdir(full):
                    walk(full, (rel + "/" if rel else "") + name)
                elif name.endswith(".eml"):
                    with open(full, "rb") as fh:
                        email.message_from_binary_file(fh, policy=email.policy.default)  # it must parse
                    count += 1
            folders[rel] = {"count": count, "subjects": None}

        walk(top, "")
        return folders


READERS = {"pypff": read_pypff, "pffexport": read_pffexport, "readpst": read_readpst}


def astral_as_mark(text):
    """libpff 20180714 (pypff, pffexport) decodes characters above U+FFFF wrongly (readpst gets them right), so
    every reader's text shows each of them as "?" and the readers can be compared."""
    return "".join("?" if ord(c) > 0xFFFF else c for c in text)


def normalised(folders):
    out = {}
    for path, v in folders.items():
        subjects = v["subjects"]
        out[astral_as_mark(path)] = {
            "count": v["count"],
            "subjects": None if subjects is None else sorted(astral_as_mark(x) for x in subjects),
        }
    return out


def main():
    if len(sys.argv) != 3 or sys.argv[1] not in READERS:
        print(__doc__, file=sys.stderr)
        return 2
    out = {"reader": sys.argv[1], "ok": True, "error": "", "folders": {}}
    try:
        out["folders"] = normalised(READERS[sys.argv[1]](sys.argv[2]))
    except Exception as e:  # the reader's complaint is the result
        out["ok"] = False
        out["error"] = "%s: %s" % (type(e).__name__, e)
    json.dump(out, sys.stdout, ensure_ascii=False, sort_keys=True)
    print()
    return 0


if __name__ == "__main__":
    sys.exit(main())
