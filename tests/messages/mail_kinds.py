#!/usr/bin/python3
"""Checks meeting requests, TNEF-wrapped mail and reports in one folder of a .pst as pypff, libpff, pffexport
and readpst read them: the message class, the meeting's times and place (readpst rebuilds a calendar from
the stored meeting), the attachments, the RTF body, the report's recipients and their status.

Usage: mail_kinds.py MANIFEST.json FILE.pst   (the manifest of compare_messages.py)
Exit status 0 when every expectation holds, 1 otherwise, 77 when a reader is not installed.
"""
import ctypes
import datetime
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

UTC = datetime.timezone.utc


def when(text):
    return datetime.datetime.strptime(text, "%Y-%m-%d %H:%M").replace(tzinfo=UTC)


# Per file: the class; for meetings the start and end (UTC) and strings among the named properties; for
# other mail the attachment names, a piece of the RTF body, and per report recipient an address and status.
EXPECTED = {
    "meeting-google-like.eml": {"class": "IPM.Schedule.Meeting.Request", "start": when("2024-03-12 15:00"),
                                "end": when("2024-03-12 16:00"), "named": ["Room 4B, Harbour Building"],
                                "attachments": ["invite.ics"]},
    "meeting-outlook-like.eml": {"class": "IPM.Schedule.Meeting.Request", "start": when("2024-01-15 09:00"),
                                 "end": when("2024-01-15 10:30"),
                                 "named": ["Konferenzraum Süd", "W. Europe Standard Time"], "attachments": []},
    "meeting-thunderbird-like.eml": {"class": "IPM.Schedule.Meeting.Request",
                                     "start": when("2024-06-18 13:30"), "end": when("2024-06-18 14:15"),
                                     "named": ["Studio 2", "America/New_York"], "attachments": ["invite.ics"]},
    "tnef-beside-plain-body.eml": {"class": "IPM.Note", "attachments": ["budget 2024.xlsx"]},
    "tnef-rtf-body.eml": {"class": "IPM.Note", "attachments": ["report.txt", "chart.png"],
                          "rtf": "The {\\b rich} body of the wrapped mail."},
    "tnef-undecodable.eml": {"class": "IPM.Note", "attachments": ["winmail.dat"]},
    "report-delay-then-failure.eml": {"class": "REPORT.IPM.Note.NDR", "attachments": ["Undelivered Message Headers"],
                                      "recipients": ["nobody@example.net", "Gone Person"],
                                      "recipient_status": [
                                          "<mail.example.net #5.1.1 smtp; 550 5.1.1 <nobody@example.net>: Recipient "
                                          "address rejected: User unknown>", "<#5.2.1 smtp; 550 mailbox disabled>"]},
    "report-delivered.eml": {"class": "REPORT.IPM.Note.DR", "attachments": ["Spring offsite"],
                             "recipients": ["kim@example.com"]},
    "report-read.eml": {"class": "REPORT.IPM.Note.IPNRN"},
    "report-deleted-unread.eml": {"class": "REPORT.IPM.Note.IPNNRN"},
}


def recipient_strings(path, identifier, entry_type):
    """A string property of every recipient row of a message, through libpff's C interface (pypff does not
    reach recipients); None where a row has none."""
    lib = ctypes.CDLL("libpff.so.1")
    v, pv = ctypes.c_void_p, ctypes.POINTER(ctypes.c_void_p)
    for name, args in {
            "libpff_file_initialize": [pv, pv], "libpff_file_open": [v, ctypes.c_char_p, ctypes.c_int, pv],
            "libpff_file_get_item_by_identifier": [v, ctypes.c_uint32, pv, pv],
            "libpff_message_get_recipients": [v, pv, pv],
            "libpff_item_get_number_of_record_sets": [v, ctypes.POINTER(ctypes.c_int), pv],
            "libpff_item_get_record_set_by_index": [v, ctypes.c_int, pv, pv],
            "libpff_record_set_get_entry_by_type": [v, ctypes.c_uint32, ctypes.c_uint32, pv, ctypes.c_uint8, pv],
            "libpff_record_entry_get_data_as_utf8_string_size": [v, ctypes.POINTER(ctypes.c_size_t), pv],
            "libpff_record_entry_get_data_as_utf8_string": [v, ctypes.c_char_p, ctypes.c_size_t, pv]}.items():
        getattr(lib, name).argtypes = args
    err = v()

    def ok(result):
        if result != 1:
            raise RuntimeError("libpff could not read the recipients")
    f, item, rcpts, count = v(), v(), v(), ctypes.c_int()
    ok(lib.libpff_file_initialize(ctypes.byref(f), ctypes.byref(err)))
    ok(lib.libpff_file_open(f, path.encode(), 1, ctypes.byref(err)))
    ok(lib.libpff_file_get_item_by_identifier(f, identifier, ctypes.byref(item), ctypes.byref(err)))
    ok(lib.libpff_message_get_recipients(item, ctypes.byref(rcpts), ctypes.byref(err)))
    ok(lib.libpff_item_get_number_of_record_sets(rcpts, ctypes.byref(count), ctypes.byref(err)))
    out = []
    for i in range(count.value):
        rs, entry, size = v(), v(), ctypes.c_size_t()
        ok(lib.libpff_item_get_record_set_by_index(rcpts, i, ctypes.byref(rs), ctypes.byref(err)))
        if lib.libpff_record_set_get_entry_by_type(rs, entry_type, 0x001F, ctypes.byref(entry), 0,
                                                   ctypes.byref(err)) != 1:
            out.append(None)
            continue
        ok(lib.libpff_record_entry_get_data_as_utf8_string_size(entry, ctypes.byref(size), ctypes.byref(err)))
        buf = ctypes.create_string_buffer(size.value + 64)  # this version counts one byte short at times
        ok(lib.libpff_record_entry_get_data_as_utf8_string(entry, buf, size.value + 64, ctypes.byref(err)))
        out.append(buf.value.decode("utf-8"))
    return out  # the file handle is left to the process's end: a test script reads a few messages


def entries(item):
    out = {}
    for s in range(item.number_of_record_sets):
        rs = item.get_record_set(s)
        for e in range(rs.number_of_entries):
            entry = rs.get_entry(e)
            out.setdefault(entry.entry_type, entry)
    return out


def text_of(entry):
    try:
        return entry.get_data_as_string()
    except Exception:  # not a string
        return None


def find_folder(folder, parts):
    for p in parts:
        folder = next(folder.get_sub_folder(i) for i in range(folder.number_of_sub_folders)
                      if folder.get_sub_folder(i).name == p)
    return folder


def read_pypff(path, folder_path):
    import pypff
    f = pypff.file()
    f.open(path)
    root = f.get_root_folder()
    top = next(root.get_sub_folder(i) for i in range(root.number_of_sub_folders)
               if (root.get_sub_folder(i).name or "").startswith("Top of "))
    folder = find_folder(top, folder_path.split("/"))
    seen = []
    for j in range(folder.number_of_sub_messages):
        m = folder.get_sub_message(j)
        props = entries(m)
        got = {"class": text_of(props[0x001A]) if 0x001A in props else None,
               "recipient_status": [t for t in recipient_strings(path, m.identifier, 0x0C1B) if t],
               "named": [t for k, e in props.items() if k >= 0x8000 for t in [text_of(e)] if t],
               "attachments": []}
        for k, key in ((0x0060, "start"), (0x0061, "end")):
            if k in props:
                got[key] = props[k].get_data_as_datetime().replace(tzinfo=UTC)
        for a in range(m.number_of_attachments):
            ap = entries(m.get_attachment(a))
            name = ap.get(0x3707) or ap.get(0x3001)
            got["attachments"].append(text_of(name) if name else None)
        try:
            rtf = m.get_rtf_body()
            got["rtf"] = rtf.decode("latin-1") if rtf else None
        except Exception as e:  # an RTF body that cannot be decompressed
            got["rtf"] = "unreadable: %s" % e
        seen.append(got)
    f.close()
    return seen


def read_pffexport(path, folder_path):
    """Per message: the kind of item pffexport made of it (its folder name) and its Recipients.txt."""
    tmp = tempfile.mkdtemp()
    try:
        target = os.path.join(tmp, "x")
        subprocess.run(["pffexport", "-q", "-m", "items", "-f", "text", "-t", target, path], capture_output=True)
        base = target + ".export"
        top = [n for n in os.listdir(base) if n.startswith("Top of ")]
        d = os.path.join(base, top[0], *folder_path.split("/"))
        out = []
        for name in sorted(os.listdir(d), key=lambda n: n[-5:]):
            if not re.match(r"^[A-Za-z]+\d{5}$", name):
                continue
            rp = os.path.join(d, name, "Recipients.txt")
            out.append({"kind": name[:-5],
                        "recipients": open(rp, "rb").read().decode("utf-8", "replace") if os.path.exists(rp)
                        else ""})
        return out
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def readpst_texts(path):
    """The text of every message readpst writes out of the file."""
    tmp = tempfile.mkdtemp()
    try:
        subprocess.run(["readpst", "-j", "0", "-e", "-D", "-q", "-o", tmp, path], capture_output=True)
        out = []
        for root, _, names in os.walk(tmp):
            for n in names:
                out.append(open(os.path.join(root, n), "rb").read().decode("utf-8", "replace"))
        return out
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


def readpst_calendar_lines(want):
    """The lines readpst writes for a meeting stored with `want`'s start, end and place."""
    fmt = "%Y%m%dT%H%M%SZ"
    return ["DTSTART;VALUE=DATE-TIME:" + want["start"].strftime(fmt),
            "DTEND;VALUE=DATE-TIME:" + want["end"].strftime(fmt),
            "LOCATION:" + want["named"][0].replace(",", "\\,")]


def main(argv):
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        import pypff  # noqa: F401
    except ImportError:
        print("independent readers not installed (python3-pypff)")
        return 77
    if not shutil.which("pffexport") or not shutil.which("readpst"):
        print("independent readers not installed (pff-tools, pst-utils)")
        return 77
    with open(argv[1]) as fh:
        manifest = json.load(fh)
    files = [os.path.basename(p) for p in manifest["files"]]
    seen = read_pypff(argv[2], manifest["folder"])
    exported = read_pffexport(argv[2], manifest["folder"])
    rebuilt = readpst_texts(argv[2])
    if len(seen) != len(files) or len(exported) != len(files):
        print("readers list %d and %d messages, %d were saved" % (len(seen), len(exported), len(files)))
        return 1
    failures = []
    for name, got, export in zip(files, seen, exported):
        want = EXPECTED.get(name)
        if want is None:
            failures.append("%s: no expectation written" % name)
            continue
        checks = [("class", want["class"], got["class"])]
        if want["class"].startswith("IPM.Schedule.Meeting"):
            checks.append(("pffexport item kind", "Meeting", export["kind"]))
            lines = readpst_calendar_lines(want)
            checks.append(("readpst calendar %s" % " ".join(lines), True,
                           any(all(l in text for l in lines) for text in rebuilt)))
        for key in ("start", "end", "attachments"):
            if key in want:
                checks.append((key, want[key], got.get(key)))
        for text in want.get("named", []):
            checks.append(("named property holding %r" % text, True, text in got["named"]))
        if "rtf" in want:
            checks.append(("RTF body holds %r" % want["rtf"], True, want["rtf"] in (got["rtf"] or "")))
        if "recipient_status" in want:
            checks.append(("recipients' status", want["recipient_status"], got["recipient_status"]))
        for text in want.get("recipients", []):
            checks.append(("recipients list %r" % text, True, text in export["recipients"]))
        for what, expected, actual in checks:
            status = "ok" if expected == actual else "DIFFERS"
            print("%-32s %-34s %s" % (name, what, status))
            if expected != actual:
                failures.append("%s: %s: expected %r, read %r" % (name, what, expected, actual))
    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
