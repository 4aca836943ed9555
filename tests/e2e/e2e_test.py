#!/usr/bin/python3
"""End-to-end runs of velmora-convert over generated export trees (and the shared sample export when present),
with every .pst read whole by the independent readers (pypff, pffexport, readpst) and by velmora-pst check.

Usage: e2e_test.py --convert PATH --pst PATH [unittest arguments]
"""
import argparse
import filecmp
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "readers"))
import pst_tree  # noqa: E402
from strict_reader import strict_read  # noqa: E402

ARGS = None
DEFAULTS = ["Inbox", "Outbox", "Sent Items", "Deleted Items", "Calendar", "Contacts", "Journal", "Notes", "Tasks",
            "Drafts", "Junk E-mail"]


def have_readers():
    if not shutil.which("pffexport") or not shutil.which("readpst"):
        return False
    return subprocess.run(["/usr/bin/python3", "-c", "import pypff"], capture_output=True).returncode == 0


def shared_dir():
    d = os.environ.get("VELMORA_SHARED") or os.path.join(os.path.dirname(ROOT), "shared")
    return d if os.path.isdir(d) else None


def convert(*args, timeout=600):
    return subprocess.run([ARGS.convert, *args], capture_output=True, text=True, timeout=timeout)


def read_all(path):
    """The folder trees the three readers saw; fails the test when one cannot read the file."""
    seen = {}
    for reader in ("pypff", "pffexport", "readpst"):
        seen[reader] = pst_tree.normalised(pst_tree.READERS[reader](path))
    return seen


def big_inbox(top, n):
    box = os.path.join(top, "Inbox")
    os.makedirs(box)
    for i in range(n):
        with open(os.path.join(box, "m%05d.eml" % i), "w") as fh:
            fh.write("From: a@example.com\r\nSubject: m%05d\r\nMessage-ID: <m%05d@velmora.test>\r\n\r\n%s\r\n"
                     % (i, i, "x" * 2000))
    return {"m%05d" % i for i in range(n)}


def wait_for(path, proc, timeout=120):
    deadline = time.time() + timeout
    while not os.path.exists(path) and proc.poll() is None and time.time() < deadline:
        time.sleep(0.005)
    return os.path.exists(path)


def header_fields(path):
    """(size, ibFileEof, fAMapValid) of a Unicode PST."""
    with open(path, "rb") as fh:
        head = fh.read(564)
    return os.path.getsize(path), int.from_bytes(head[184:192], "little"), head[248]


# The two moments inside a commit a kill can catch: the header says the maps are being rewritten (readers
# rebuild them), or a growth commit has made the file larger before the header that counts the new room.
IN_COMMIT_NOTES = {"note: fAMapValid is not 2: readers rebuild the maps",
                   "note: the file runs past ibFileEof (bytes of an unfinished commit)"}


class Base(unittest.TestCase):
    maxDiff = None
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="velmora-e2e-")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def generatedExport(self):
        """Our generated export in tmp/export, and an empty output folder tmp/out."""
        top, out = os.path.join(self.tmp, "export"), os.path.join(self.tmp, "out")
        os.makedirs(out, exist_ok=True)
        subprocess.run(["/usr/bin/python3", os.path.join(HERE, "make_export.py"), top], check=True)
        return top, out

    def assertReadersAgree(self, path, expected=None):
        self.assertEqual(subprocess.run([ARGS.pst, "check", path], capture_output=True).returncode, 0,
                         "velmora-pst check finds %s sound" % path)
        self.assertEqual(strict_read(path) or [], [], "Microsoft's PST SDK reads %s as sound" % path)
        if not have_readers():
            return None
        seen = read_all(path)
        base = seen["pypff"]
        self.assertEqual(seen["pffexport"], base, "pffexport and pypff agree on %s" % path)
        # readpst's subjects are the raw header text: it is compared on folders and counts.
        for p, v in seen["readpst"].items():
            self.assertIn(p, base, "readpst sees folder %r that pypff does not" % p)
            self.assertEqual(base[p]["count"], v["count"], "readpst and pypff agree on %r" % p)
        for p, v in base.items():
            if v["count"]:
                self.assertIn(p, seen["readpst"], "readpst sees %r" % p)
        if expected is not None:
            self.assertEqual({p: v["count"] for p, v in base.items()}, expected)
        return base

    def assertExactFile(self, pst, subjects, when):
        """A file a run left when it was killed or failed: exact (or caught inside a commit, which only the
        commit's own marks may show), read by every reader, holding only source messages, none twice.
        Returns the number of messages of its last commit."""
        check = subprocess.run([ARGS.pst, "check", pst], capture_output=True, text=True)
        self.assertEqual(check.returncode, 0, "%s: %s" % (when, check.stdout + check.stderr))
        notes = {l.strip() for l in check.stdout.splitlines() if l.strip().startswith("note:")}
        size, eof, valid = header_fields(pst)
        if notes:
            # Caught inside a commit: only its own marks; the file still holds the previous commit.
            self.assertLessEqual(notes, IN_COMMIT_NOTES, when)
            print("%s: killed inside a commit (%s)" % (when, "; ".join(sorted(notes))), file=sys.stderr)
        else:
            self.assertEqual(size, eof, "%s: the file ends where its header says" % when)
            self.assertEqual(valid, 2, when)
        listing = subprocess.run([ARGS.pst, "ls", pst], capture_output=True, text=True)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        committed = sum(int(n) for n in re.findall(r"\[(\d+) messages", listing.stdout))
        sdk = os.path.join(shared_dir() or "/nonexistent", "tools", "pstsdk-read")
        if os.access(sdk, os.X_OK):
            run = subprocess.run([sdk, "-q", pst], capture_output=True, text=True, errors="replace")
            # Heaps that span several blocks are the heap tests' business; nothing else may be found here.
            errors = [l for l in run.stdout.splitlines() if l.startswith("ERROR")
                      and "non-final block holds fewer than 8176 bytes" not in l]
            self.assertEqual(errors, [], "%s: pstsdk-read" % when)
        if not have_readers():
            return committed
        self.assertEqual(subprocess.run(["pffinfo", pst], capture_output=True).returncode, 0, when)
        seen = self.assertReadersAgree(pst)
        self.assertEqual(sum(v["count"] for v in seen.values()), committed, when)
        got = seen.get("Inbox", {"subjects": []})["subjects"]
        self.assertEqual(len(got), len(set(got)), "%s: no message twice" % when)
        self.assertLessEqual(set(got), subjects, when)
        return committed


class GeneratedExport(Base):
    def test_multiple_mailboxes(self):
        top, out = self.generatedExport()
        run = convert("--multiple", "--json", "--quiet", top, out)
        self.assertEqual(run.returncode, 0, run.stderr)  # every file converted or skipped by rule
        report = json.loads(run.stdout)
        self.assertFalse(report["stopped"])
        boxes = {m["name"]: m for m in report["mailboxes"]}
        self.assertEqual(sorted(boxes), ["alice@example.com", "carol"], "bob has no files and gets no store")
        self.assertFalse(os.path.exists(os.path.join(out, "bob@example.org.pst")))
        alice = boxes["alice@example.com"]
        self.assertEqual(alice["queued"], 15)
        self.assertEqual(alice["not_converted"], [])
        self.assertEqual([os.path.basename(p) for p in alice["skipped"]], ["Page.eml"])
        self.assertEqual(alice["other_files"], 1)
        self.assertEqual(alice["queued"], alice["converted"] + len(alice["skipped"]) + alice["other_files"])

        expected = {"": 1, "Inbox": 3, "Inbox/Projects": 1, "Inbox/Tasks": 1, "Sent Items": 1, "Sent Items/Old": 1,
                    "Calendar": 1, "Archive": 1, "Archive/Sent": 1, "Receipts ☕ Пошта": 1, "Old": 1}
        want = {name: 0 for name in DEFAULTS}
        want[""] = 0
        want.update(expected)
        seen = self.assertReadersAgree(alice["pst"], want)
        if seen is not None:
            self.assertEqual(sum(v["count"] for v in seen.values()), alice["converted"])
            self.assertEqual(seen["Inbox"]["subjects"], ["Report", "Upper-case extension", "Welcome"])
        carol = boxes["carol"]
        self.assertEqual(carol["converted"], 1)
        want = {name: 0 for name in DEFAULTS}
        want.update({"": 0, "Inbox": 1})
        self.assertReadersAgree(carol["pst"], want)

    def test_single_mailbox_and_only_named_mailboxes(self):
        top = self.generatedExport()[0]
        single = os.path.join(self.tmp, "carol.pst")
        run = convert("--json", os.path.join(top, "carol") + "/", single)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertIn("Done: 1 converted, 0 skipped by rule, 0 not converted.", run.stderr)
        self.assertNotIn("Successfully", run.stderr, "the summary says what happened, not the wizard's text")
        self.assertEqual(json.loads(run.stdout)["mailboxes"][0]["pst"], single)
        self.assertReadersAgree(single)
        # Only the mailbox named, also when others follow it in the list.
        out = os.path.join(self.tmp, "only")
        os.makedirs(out)
        run = convert("--multiple", "--quiet", top, out, "alice@example.com")
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(os.listdir(out), ["alice@example.com.pst"])

    def test_same_export_same_bytes_with_source_date_epoch(self):
        top = self.generatedExport()[0]
        big_inbox(os.path.join(top, "dave"), 40)  # past the first commit's message count
        env = dict(os.environ, SOURCE_DATE_EPOCH="1765000000")
        outs = [os.path.join(self.tmp, name) for name in ("a", "b")]
        for out in outs:
            os.makedirs(out)
            run = subprocess.run([ARGS.convert, "--multiple", "--quiet", top, out], env=env, capture_output=True,
                                 text=True, timeout=600)
            self.assertEqual(run.returncode, 0, run.stderr)
        names = sorted(os.listdir(outs[0]))
        self.assertEqual(names, sorted(os.listdir(outs[1])))
        self.assertIn("dave.pst", names)
        for name in names:
            self.assertTrue(filecmp.cmp(os.path.join(outs[0], name), os.path.join(outs[1], name), shallow=False),
                            "%s differs between the two runs" % name)

    def test_hostile_inputs_are_reported_and_the_report_matches_the_file(self):
        box = os.path.join(self.tmp, "box")
        def eml(rel, subject):
            path = os.path.join(box.encode(), *[p.encode() if isinstance(p, str) else p for p in rel])
            os.makedirs(os.path.dirname(path), exist_ok=True)
            with open(path, "wb") as fh:
                fh.write(b"From: a@example.com\r\nSubject: " + subject.encode() + b"\r\n\r\nbody\r\n")
        eml(["Inbox", "ok.eml"], "ok")
        eml([b"Caf\xe9", "latin.eml"], "latin")          # a folder name that is not UTF-8
        eml(["Proj:", "Old", "colon.eml"], "colon")      # ":" before a separator is no drive letter
        os.mkfifo(os.path.join(box, "Inbox", "pipe.eml"))  # would block a plain read for ever
        os.symlink("nowhere.eml", os.path.join(box, "Inbox", "gone.eml"))  # a file that cannot be read
        os.symlink("loop.eml", os.path.join(box, "Inbox", "loop.eml"))
        # A folder whose path is longer than the system allows cannot be listed, even by root.
        deep = os.path.join(box, "Deep")
        os.makedirs(deep)
        fd = os.open(deep, os.O_RDONLY)
        for i in range(17):
            name = chr(ord("a") + i) * 250
            os.mkdir(name, dir_fd=fd)
            nfd = os.open(name, os.O_RDONLY, dir_fd=fd)
            os.close(fd)
            fd = nfd
        os.close(fd)
        pst = os.path.join(self.tmp, "box.pst")
        run = convert("--json", box, pst, timeout=120)
        self.assertEqual(run.returncode, 1, run.stderr)
        report = json.loads(run.stdout)
        m = report["mailboxes"][0]
        self.assertEqual(m["converted"], 3)
        self.assertEqual([(os.path.basename(f["file"]), "not a regular file" in f["reason"])
                          for f in m["not_converted"]], [("gone.eml", False), ("pipe.eml", True)])
        self.assertIn("No such file or directory", m["not_converted"][0]["reason"])
        self.assertEqual(len(report["unreadable_folders"]), 1)
        self.assertIn("too long", report["unreadable_folders"][0]["reason"])
        # Files are listed as files, each with its own reason, never as folders.
        self.assertEqual([(os.path.basename(f["file"]), f["reason"]) for f in report["unreadable_files"]],
                         [("loop.eml", "The name of the file cannot be resolved by the system.")])
        self.assertIn("unreadable file: " + os.path.join(box, "Inbox", "loop.eml") + ": ", run.stderr)
        self.assertNotIn("unreadable folder: " + os.path.join(box, "Inbox"), run.stderr)
        self.assertIn("not converted: " + os.path.join(box, "Inbox", "pipe.eml") + ": ", run.stderr)
        self.assertIn("unreadable folder: ", run.stderr)
        self.assertIn("Done with errors: 3 converted, 0 skipped by rule, 2 not converted", run.stderr)
        self.assertEqual(m["queued"], m["converted"] + len(m["skipped"]) + len(m["not_converted"]) + m["other_files"])
        # pffexport writes ":" in folder names as "_": the counts are compared by pypff alone here.
        self.assertEqual(subprocess.run([ARGS.pst, "check", pst], capture_output=True).returncode, 0)
        if have_readers():
            seen = pst_tree.normalised(pst_tree.READERS["pypff"](pst))
            self.assertEqual(sum(v["count"] for v in seen.values()), m["converted"])
            self.assertEqual(seen["Proj:/Old"]["count"], 1)
            self.assertEqual(seen["Caf\ufffd"]["count"], 1)
        shutil.rmtree(deep.encode(), ignore_errors=True)

    def test_names_that_are_not_utf8_give_valid_json(self):
        # Encoded surrogates and overlong forms in the mailbox's and its folders' names.
        box = os.path.join(self.tmp.encode(), b"\xed\xa0\x80 \xc0\xaf box")
        for sub in (b"Inbox", b"\xed\xa0\x80", b"\xe0\x80\xaf"):
            os.makedirs(os.path.join(box, sub))
            with open(os.path.join(box, sub, b"m.eml"), "wb") as fh:
                fh.write(b"From: a@example.com\r\nSubject: s\r\n\r\nbody\r\n")
        os.mkfifo(os.path.join(box, b"\xed\xa0\x80", b"pipe.eml"))
        pst = os.path.join(self.tmp, "names.pst")
        run = subprocess.run([ARGS.convert, "--json", box, pst], capture_output=True, timeout=120)
        text = run.stdout.decode("utf-8")  # strict: refuses encoded surrogates and overlong forms
        report = json.loads(text)
        self.assertNotIn("\\ud8", text)
        m = report["mailboxes"][0]
        self.assertEqual((m["converted"], len(m["not_converted"])), (3, 1), run.stderr)
        self.assertIn("\ufffd", m["name"])
        self.assertIn("\ufffd", m["not_converted"][0]["file"])
        self.assertReadersAgree(pst)

    def test_full_disk_report_matches_the_file(self):
        """A target on a small tmpfs: what the report calls converted is exactly what the file holds."""
        mnt = os.path.join(self.tmp, "small")
        os.makedirs(mnt)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=3m", "tmpfs", mnt], capture_output=True).returncode:
            self.skipTest("cannot mount a small tmpfs here (needs root and mount rights)")
        self.addCleanup(subprocess.run, ["umount", "-l", mnt], capture_output=True)
        box = os.path.join(self.tmp, "big", "Inbox")
        os.makedirs(box)
        for i in range(400):
            with open(os.path.join(box, "m%04d.eml" % i), "w") as fh:
                fh.write("From: a@example.com\r\nSubject: m%04d\r\n\r\n%s\r\n" % (i, ("%04d " % i) * 4000))
        pst = os.path.join(mnt, "big.pst")
        run = convert("--json", os.path.join(self.tmp, "big"), pst, timeout=300)
        self.assertEqual(run.returncode, 1, run.stderr)
        m = json.loads(run.stdout)["mailboxes"][0]
        self.assertLess(m["converted"], 400, "the disk filled")
        self.assertEqual(m["converted"] + len(m["not_converted"]), 400)
        self.assertTrue(all("No space left on device" in f["reason"] for f in m["not_converted"]),
                        m["not_converted"][:3])
        # Texts name the file the user chose and folders by their path.
        self.assertNotIn(".pst.new", run.stderr)
        self.assertNotRegex(run.stderr, r"folder 0x[0-9A-F]")
        self.assertIn("No space left on device", run.stderr)
        self.assertIn("Done with errors", run.stderr)
        if have_readers():
            seen = pst_tree.normalised(pst_tree.READERS["pypff"](pst))
            self.assertEqual(seen["Inbox"]["count"], m["converted"], "the report matches the file")
        self.assertExactFile(pst, {"m%04d" % i for i in range(400)}, "disk full")

    def test_bad_input_gets_clear_messages_and_status_two(self):
        top, out = self.generatedExport()
        cases = [
            (["--multiple", os.path.join(self.tmp, "missing"), out], "top folder does not exist"),
            (["--multiple", top, os.path.join(self.tmp, "nowhere")], "output folder does not exist"),
            (["--multiple", top, out, "nobody"], "no mailbox folder named nobody"),
            ([os.path.join(self.tmp, "missing"), os.path.join(out, "x.pst")], "source folder does not exist"),
            ([os.path.join(top, "carol"), os.path.join(self.tmp, "nowhere", "x.pst")], "output folder"),
            (["--frobnicate"], "unknown option"),
            ([], "Usage"),
        ]
        for args, text in cases:
            run = convert(*args)
            self.assertEqual(run.returncode, 2, args)
            self.assertIn(text, run.stderr, args)
            run = convert("--json", *args)
            self.assertEqual(run.returncode, 2, args)
            self.assertIn("velmora-convert: " + json.loads(run.stdout)["error"] + "\n", run.stderr, args)
        notes = os.path.join(out, "carol.pst")
        with open(notes, "w") as fh:
            fh.write("my notes, not a data file\n")
        run = convert("--multiple", top, out, "carol")
        self.assertEqual(run.returncode, 2, run.stderr)
        self.assertIn("Outlook Error", run.stderr)
        with open(notes) as fh:
            self.assertEqual(fh.read(), "my notes, not a data file\n", "a file that is not a PST is left alone")
        self.assertEqual(convert("--help").returncode, 0)
        self.assertIn("velmora-convert", convert("--version").stdout)

    def test_resume_adds_only_what_the_file_lacks(self):
        box = os.path.join(self.tmp, "box")
        os.makedirs(os.path.join(box, "Inbox"))
        def write(i):
            mid = "Message-ID: <r%d@velmora.test>\r\n" % i if i % 3 else ""  # every third has none
            with open(os.path.join(box, "Inbox", "m%02d.eml" % i), "w") as fh:
                fh.write("From: a@example.com\r\n%sSubject: r%02d\r\n\r\nbody %d\r\n" % (mid, i, i))
        for i in range(20):
            write(i)
        pst = os.path.join(self.tmp, "box.pst")
        self.assertEqual(convert("--quiet", box, pst).returncode, 0)
        for i in range(20, 30):
            write(i)
        run = convert("--json", "--resume", box, pst)
        self.assertEqual(run.returncode, 0, run.stderr)
        m = json.loads(run.stdout)["mailboxes"][0]
        self.assertEqual((m["converted"], len(m["already_present"])), (10, 20))
        self.assertIn("10 converted, 20 already in the file", run.stderr)
        seen = self.assertReadersAgree(pst)
        if seen is not None:
            self.assertEqual(seen["Inbox"]["subjects"], ["r%02d" % i for i in range(30)], "no duplicates")

    def test_stop_signals_keep_what_was_saved(self):
        box = os.path.join(self.tmp, "big", "Inbox")
        os.makedirs(box)
        for i in range(4000):
            with open(os.path.join(box, "m%04d.eml" % i), "w") as fh:
                fh.write("From: a@example.com\r\nSubject: m%04d\r\n\r\n%s\r\n" % (i, "x" * 2000))
        for sig, status in ((signal.SIGINT, 130), (signal.SIGTERM, 143), (signal.SIGHUP, 129)):
            pst = os.path.join(self.tmp, "big-%d.pst" % sig)
            proc = subprocess.Popen([ARGS.convert, "--json", os.path.join(self.tmp, "big"), pst],
                                    stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            deadline = time.time() + 120
            while not os.path.exists(pst) and time.time() < deadline:
                time.sleep(0.01)
            proc.send_signal(sig)  # the store exists: the import has not got far
            out, err = proc.communicate(timeout=300)
            self.assertEqual(proc.returncode, status, err)
            self.assertIn("Stopped: ", err)
            report = json.loads(out)
            self.assertTrue(report["stopped"])
            m = report["mailboxes"][0]
            self.assertLess(m["converted"], 4000, "the run was stopped before the end")
            self.assertEqual(m["queued"], m["converted"] + len(m["not_converted"]) + m["not_reached"])
            seen = self.assertReadersAgree(pst)
            if seen is not None:
                self.assertEqual(seen["Inbox"]["count"], m["converted"])


    def test_a_stop_in_the_first_mailbox_lists_the_later_ones_not_reached(self):
        top, out = os.path.join(self.tmp, "top"), os.path.join(self.tmp, "out")
        big_inbox(os.path.join(top, "a-big"), 4000)
        for name, n in (("b-small", 3), ("c-small", 5)):
            os.makedirs(os.path.join(top, name, "Inbox"))
            for i in range(n):
                with open(os.path.join(top, name, "Inbox", "%d.eml" % i), "w") as fh:
                    fh.write("Subject: s\r\n\r\nb\r\n")
        os.makedirs(out)
        proc = subprocess.Popen([ARGS.convert, "--json", "--multiple", top, out], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.assertTrue(wait_for(os.path.join(out, "a-big.pst"), proc))
        proc.send_signal(signal.SIGTERM)
        stdout, stderr = proc.communicate(timeout=300)
        self.assertEqual(proc.returncode, 143, stderr)
        report = json.loads(stdout)
        self.assertEqual([(m["name"], m["reached"], m["queued"], m["not_reached"]) for m in report["mailboxes"][1:]],
                         [("b-small", False, 3, 3), ("c-small", False, 5, 5)])
        self.assertIn("b-small: not reached, 3 file(s)\n", stderr)
        self.assertIn("c-small: not reached, 5 file(s)\n", stderr)
        self.assertFalse(os.path.exists(os.path.join(out, "b-small.pst")))

    def test_velmora_pst_does_not_read_a_file_being_written(self):
        top = os.path.join(self.tmp, "big")
        big_inbox(top, 3000)
        pst = os.path.join(self.tmp, "big.pst")
        proc = subprocess.Popen([ARGS.convert, "--quiet", top, pst], stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE, text=True)
        self.assertTrue(wait_for(pst, proc))
        proc.send_signal(signal.SIGSTOP)  # the writer holds the file, between two commits or inside one
        self.addCleanup(lambda: proc.poll() is None and proc.kill())
        for command in ("check", "ls", "dump"):
            busy = subprocess.run([ARGS.pst, command, pst], capture_output=True, text=True, timeout=60)
            self.assertEqual(busy.returncode, 2, command)
            self.assertIn("is being written by another program", busy.stderr, command)
        waiting = subprocess.Popen([ARGS.pst, "check", "--wait", pst], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, text=True)
        time.sleep(0.5)
        self.assertIsNone(waiting.poll(), "check --wait waits for the writer")
        proc.send_signal(signal.SIGCONT)
        _, err = proc.communicate(timeout=300)
        self.assertEqual(proc.returncode, 0, err)
        checked, err = waiting.communicate(timeout=300)
        self.assertEqual(waiting.returncode, 0, checked + err)
        self.assertIn("sound", checked)
        self.assertIn("3000 messages", checked)


class KilledRuns(Base):
    def test_sigkill_at_any_moment_leaves_the_last_commit(self):
        """Kills a run as soon as its file appears, and later on; every file is exact and readable and holds
        what its last commit held. While no commit of messages has happened yet that is no message at all,
        so the test holds however often the converter commits."""
        src = os.path.join(self.tmp, "big")
        subjects = big_inbox(src, 4000)
        for n, delay in enumerate((0, 0.3, 0.8)):
            pst = os.path.join(self.tmp, "k%d.pst" % n)
            proc = subprocess.Popen([ARGS.convert, "--quiet", src, pst], stdout=subprocess.DEVNULL,
                                    stderr=subprocess.DEVNULL)
            self.assertTrue(wait_for(pst, proc), "the store appears")
            time.sleep(delay)
            proc.kill()
            proc.wait()
            committed = self.assertExactFile(pst, subjects, "killed %.1f s after the file appeared" % delay)
            print("killed %.1f s after the file appeared: %d messages committed" % (delay, committed),
                  file=sys.stderr)


    def test_resume_after_a_kill_keeps_distinct_files_that_look_alike(self):
        """3,000 pairs of files sharing a Message-ID (a list copy and a direct copy), and two files of one
        name and size in folders the "!" rule merges: killed at a random moment and resumed, the file holds
        every one of them once."""
        box = os.path.join(self.tmp, "pairs")
        os.makedirs(os.path.join(box, "Inbox"))
        subjects = []
        for i in range(3000):
            for side in "ab":
                subjects.append("p%04d %s" % (i, side))
                with open(os.path.join(box, "Inbox", "m%04d%s.eml" % (i, side)), "w") as fh:
                    fh.write("From: a@example.com\r\nSubject: p%04d %s\r\nMessage-ID: <p%04d@velmora.test>\r\n"
                             "\r\nbody\r\n" % (i, side, i))
        for folder, subject in (("Work", "w1"), ("Work!old", "w2")):
            os.makedirs(os.path.join(box, folder))
            with open(os.path.join(box, folder, "x.eml"), "w") as fh:
                fh.write("From: a@example.com\r\nSubject: %s\r\nMessage-ID: <w@velmora.test>\r\n\r\nb\r\n"
                         % subject)
        pst = os.path.join(self.tmp, "pairs.pst")
        proc = subprocess.Popen([ARGS.convert, "--quiet", box, pst], stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)
        self.assertTrue(wait_for(pst, proc), "the store appears")
        delay = random.uniform(0, 4)  # before the first commit, after it, or after the last
        time.sleep(delay)
        proc.kill()
        proc.wait()
        run = convert("--json", "--resume", box, pst)
        self.assertEqual(run.returncode, 0, run.stderr)
        m = json.loads(run.stdout)["mailboxes"][0]
        print("killed %.2f s after the file appeared; the resume added %d, found %d present"
              % (delay, m["converted"], len(m["already_present"])), file=sys.stderr)
        self.assertEqual(m["converted"] + len(m["already_present"]), 6002)
        seen = self.assertReadersAgree(pst)
        if seen is not None:
            self.assertEqual(sorted(seen["Inbox"]["subjects"]), sorted(subjects), "6,000, none twice")
            self.assertEqual(sorted(seen["Work"]["subjects"]), ["w1", "w2"])


class FileSystems(Base):
    def test_new_store_on_exfat(self):
        """exFAT (the file system of USB sticks) has no hard links: the store is published by renaming."""
        tools = [shutil.which(t) for t in ("mkfs.exfat", "mount.exfat-fuse", "losetup", "fusermount")]
        if os.geteuid() != 0 or not all(tools):
            self.skipTest("exFAT test needs root, mkfs.exfat, mount.exfat-fuse, losetup and fusermount")
        image, mnt = os.path.join(self.tmp, "stick.img"), os.path.join(self.tmp, "stick")
        os.makedirs(mnt)
        with open(image, "wb") as fh:
            fh.truncate(32 << 20)
        subprocess.run(["mkfs.exfat", image], capture_output=True, check=True)
        loop = subprocess.run(["losetup", "-f", "--show", image], capture_output=True, text=True)
        if loop.returncode:
            self.skipTest("no loop device for the exFAT image: " + loop.stderr.strip())
        device = loop.stdout.strip()
        try:
            mount = subprocess.run(["mount.exfat-fuse", device, mnt], capture_output=True, text=True)
            if mount.returncode:
                self.skipTest("exFAT does not mount here: " + (mount.stderr + mount.stdout).strip())
            try:
                box = os.path.join(self.tmp, "box")
                subjects = big_inbox(box, 50)
                pst = os.path.join(mnt, "box.pst")
                run = convert(box, pst)
                self.assertEqual(run.returncode, 0, run.stderr)
                self.assertIn("50 converted", run.stderr)
                self.assertEqual(sorted(os.listdir(mnt)), ["box.pst"], "no side file is left")
                seen = self.assertReadersAgree(pst)
                if seen is not None:
                    self.assertEqual(sorted(seen["Inbox"]["subjects"]), sorted(subjects))
            finally:
                subprocess.run(["fusermount", "-u", mnt], capture_output=True)
        finally:
            subprocess.run(["losetup", "-d", device], capture_output=True)


class Verification(Base):
    def test_verify_after_converting_and_later_against_the_folder(self):
        top, out = self.generatedExport()
        run = convert("--multiple", "--verify", "--json", "--quiet", top, out)
        self.assertEqual(run.returncode, 0, run.stderr)
        checks = json.loads(run.stdout)["verification"]
        self.assertEqual(len(checks), 2)
        for c in checks:
            self.assertEqual((c["differences"], c["error"]), ([], ""))
            self.assertRegex(c["summary"], r"^verified (\d+) of \1 messages, \d+ attachments; 0 differences$")

        alice, pst = os.path.join(top, "alice@example.com"), os.path.join(out, "alice@example.com.pst")
        again = subprocess.run([ARGS.pst, "verify", alice, pst], capture_output=True, text=True)
        self.assertEqual(again.returncode, 0, again.stdout + again.stderr)
        self.assertRegex(again.stdout, r"verified 1\d of 1\d messages, \d+ attachments; 0 differences\n$")

        # Files added to and removed from the folder are listed as such, not as differences of content.
        inbox = os.path.join(alice, "Inbox")
        gone = sorted(f for f in os.listdir(inbox) if f.endswith(".eml"))[0]
        os.remove(os.path.join(inbox, gone))
        shutil.copy(os.path.join(top, "carol", "Inbox", os.listdir(os.path.join(top, "carol", "Inbox"))[0]),
                    os.path.join(inbox, "new.eml"))
        changed = subprocess.run([ARGS.pst, "verify", "--json", alice, pst], capture_output=True, text=True)
        self.assertEqual(changed.returncode, 1, changed.stderr)
        report = json.loads(changed.stdout)
        self.assertEqual(report["differences"], [])
        self.assertEqual([os.path.basename(p) for p in report["added"]], ["new.eml"])
        self.assertEqual(len(report["removed"]), 1)
        self.assertTrue(report["removed"][0].endswith(gone), report["removed"])

        # A damaged file (the first allocation map page, at 0x4400 in every Unicode file): an error that names
        # the damage, status 2, and the file is left as it was.
        with open(pst, "r+b") as f:
            f.seek(0x4400 + 16)
            f.write(b"\x55" * 16)
        before = open(pst, "rb").read()
        damaged = subprocess.run([ARGS.pst, "verify", alice, pst], capture_output=True, text=True)
        self.assertEqual(damaged.returncode, 2)
        self.assertIn("is damaged: Corruption: AMap page", damaged.stderr)
        self.assertEqual(open(pst, "rb").read(), before)


class SharedSampleExport(Base):
    def test_sample_export(self):
        shared = shared_dir()
        if not shared or not os.path.isdir(os.path.join(shared, "export-sample")):
            self.skipTest("shared sample export not present")
        top = os.path.join(shared, "export-sample", "eM Client Export")
        out = os.path.join(self.tmp, "out")
        os.makedirs(out)
        run = convert("--multiple", "--verify", "--json", "--quiet", top, out)
        self.assertEqual(run.returncode, 0, run.stderr)
        report = json.loads(run.stdout)
        self.assertTrue(report["mailboxes"])
        for c in report["verification"]:
            self.assertRegex(c["summary"], r"; 0 differences$", c["differences"][:5])
        skip_rule = ("/Conversations/", "/Notebook/", "/Emailed Contacts/")
        for m in report["mailboxes"]:
            self.assertEqual(m["not_converted"], [], m["name"])
            self.assertTrue(all(any(r in p for r in skip_rule) for p in m["skipped"]), m["skipped"])
            if not m["pst"]:
                continue
            seen = self.assertReadersAgree(m["pst"])
            if seen is not None:
                self.assertEqual(sum(v["count"] for v in seen.values()), m["converted"], m["name"])
            print("%s: %d queued, %d converted, %d skipped" %
                  (m["name"], m["queued"], m["converted"], len(m["skipped"])), file=sys.stderr)
        # Every file of a folder whose name holds "!" became a message.
        bang = sum(1 for d, _, files in os.walk(top) if "!" in os.path.relpath(d, top)
                   for f in files if f.lower().endswith(".eml"))
        converted = sum(m["converted"] for m in report["mailboxes"])
        eml = sum(1 for d, _, files in os.walk(top) for f in files if f.lower().endswith(".eml"))
        skipped = sum(len(m["skipped"]) for m in report["mailboxes"])
        self.assertGreater(bang, 0)
        self.assertEqual(converted + skipped, eml)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--convert", required=True)
    parser.add_argument("--pst", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
