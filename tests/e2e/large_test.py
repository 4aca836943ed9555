#!/usr/bin/python3
"""Long run: a store past 4 GiB made of attachments of 1 GiB, converted in bounded memory, added to, and read
back by the independent readers, with each attachment's bytes checked by hash.

Runs only when VELMORA_LONG_TESTS=1 (set by the CI script, not by ./test) and skips, saying why, when the disk
holds less than 12 GB free. Usage: large_test.py --convert PATH --pst PATH [unittest arguments]
"""
import argparse
import base64
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "readers"))
import strict_reader  # noqa: E402

ARGS = None
GIB = 1 << 30
# The input (base64, a third larger) and the store together need about 10 GB; 12 GB leaves room for the
# readers' own temporary copies of the small parts.
NEEDED_FREE = 12 * 10**9
# The bound on peak memory of any conversion, whatever its size.
RSS_BOUND = 100 << 20
# Base64 turns 57 bytes into one 76-character line; chunks of whole lines keep the lines whole across chunks.
CHUNK = 57 * 18396


def pattern_chunks(seed, size):
    """Deterministic bytes, fast to make and not compressible: one random block of CHUNK bytes per seed, each
    repetition stamped with its index so that no two chunks of a file are equal."""
    import random

    block = bytearray(random.Random(seed).randbytes(CHUNK))
    done = 0
    index = 0
    while done < size:
        n = min(CHUNK, size - done)
        block[0:8] = index.to_bytes(8, "little")
        yield bytes(block[:n])
        done += n
        index += 1


def write_eml(path, seed, size):
    """A message with one attachment of `size` bytes; returns the attachment's SHA-256."""
    digest = hashlib.sha256()
    with open(path, "wb") as out:
        out.write(("From: Big <big@example.com>\r\nTo: anna@example.com\r\nSubject: large %d\r\n"
                   "Message-ID: <large-%d@velmora.test>\r\nDate: Wed, 03 Jan 2024 12:00:00 +0000\r\n"
                   "MIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"b\"\r\n\r\n--b\r\n"
                   "Content-Type: text/plain\r\n\r\nSee the attachment.\r\n--b\r\n"
                   "Content-Type: application/octet-stream\r\n"
                   "Content-Disposition: attachment; filename=\"large-%d.bin\"\r\n"
                   "Content-Transfer-Encoding: base64\r\n\r\n" % (seed, seed, seed)).encode())
        for chunk in pattern_chunks(seed, size):
            digest.update(chunk)
            out.write(base64.encodebytes(chunk).replace(b"\n", b"\r\n"))
        out.write(b"--b--\r\n")
    return digest.hexdigest()


def run_measured(argv):
    """Runs a command; returns (exit status, output, peak RSS in bytes) of that child alone."""
    with tempfile.TemporaryFile() as log:
        proc = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT)
        _, status, usage = os.wait4(proc.pid, 0)
        proc.returncode = os.waitstatus_to_exitcode(status)
        log.seek(0)
        return proc.returncode, log.read().decode(errors="replace"), usage.ru_maxrss * 1024


def pypff_attachment_sizes(path):
    """Subject -> size of its one attachment, as pypff lists them (reading 4 GiB through pypff takes long)."""
    import pypff

    f = pypff.file()
    f.open(path)
    sizes = {}

    def walk(folder):
        for j in range(folder.number_of_sub_messages):
            m = folder.get_sub_message(j)
            for k in range(m.number_of_attachments):
                sizes[m.subject] = m.get_attachment(k).size
        for i in range(folder.number_of_sub_folders):
            walk(folder.get_sub_folder(i))

    walk(f.get_root_folder())
    f.close()
    return sizes


def readpst_attachment_hashes(path, tmp):
    """Attachment file name -> SHA-256 of the bytes readpst writes for it (-S: attachments as files)."""
    out = os.path.join(tmp, "readpst")
    os.makedirs(out)
    run = subprocess.run(["readpst", "-S", "-j", "0", "-q", "-o", out, path], capture_output=True, text=True,
                         errors="replace")
    if run.returncode != 0:
        raise RuntimeError("readpst failed: " + run.stdout[-2000:] + run.stderr[-2000:])
    hashes = {}
    for folder, _, names in os.walk(out):
        for name in names:
            if name.endswith(".bin"):
                digest = hashlib.sha256()
                with open(os.path.join(folder, name), "rb") as fh:
                    while piece := fh.read(16 << 20):
                        digest.update(piece)
                hashes[name.split("-", 1)[1]] = digest.hexdigest()
                os.remove(os.path.join(folder, name))
    shutil.rmtree(out)
    return hashes


class LargeStoreTest(unittest.TestCase):
    def setUp(self):
        if os.environ.get("VELMORA_LONG_TESTS") != "1":
            self.skipTest("long test: runs with VELMORA_LONG_TESTS=1 (the CI script sets it)")
        self.tmp = tempfile.mkdtemp(prefix="velmora-large-")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        free = shutil.disk_usage(self.tmp).free
        if free < NEEDED_FREE:
            self.skipTest("long test: %.1f GB free on the disk, 12 GB needed" % (free / 1e9))

    def test_a_store_past_4_gib_reads_back_whole(self):
        src = os.path.join(self.tmp, "export")
        os.makedirs(os.path.join(src, "Inbox"))
        os.makedirs(os.path.join(src, "Archive"))
        # Four attachments of 1 GiB carry the store past 4 GiB; a second run adds to it, so that opening a
        # file of more than 4 GiB for writing (its check, its maps past 2^32) is measured too.
        first = {"large %d" % s: write_eml(os.path.join(src, "Inbox", "l%d.eml" % s), s, GIB) for s in range(4)}
        pst = os.path.join(self.tmp, "large.pst")
        rc, out, rss = run_measured([ARGS.convert, "--quiet", src, pst])
        self.assertEqual(rc, 0, out[-4000:])
        print("4 x 1 GiB: peak RSS %.1f MiB, store %.2f GiB" % (rss / 2**20, os.path.getsize(pst) / GIB))
        self.assertLess(rss, RSS_BOUND)

        shutil.rmtree(src)
        os.makedirs(os.path.join(src, "Archive"))
        second = {"large 9": write_eml(os.path.join(src, "Archive", "l9.eml"), 9, 16 << 20)}
        rc, out, rss = run_measured([ARGS.convert, "--quiet", src, pst])
        self.assertEqual(rc, 0, out[-4000:])
        size = os.path.getsize(pst)
        print("added to the %.2f GiB store: peak RSS %.1f MiB" % (size / GIB, rss / 2**20))
        self.assertGreater(size, 4 * GIB)
        self.assertLess(rss, RSS_BOUND)
        shutil.rmtree(src)

        rc, out, rss = run_measured([ARGS.pst, "check", pst])
        self.assertEqual(rc, 0, out[-4000:])
        print("velmora-pst check: peak RSS %.1f MiB" % (rss / 2**20))

        # readpst writes every attachment out and its bytes are hashed; pypff lists the messages and their
        # attachments; pffinfo reads the header; pstsdk-read checks every block and reads every attachment.
        start = time.monotonic()
        hashes = readpst_attachment_hashes(pst, self.tmp)
        self.assertEqual(hashes, {"%s.bin" % k.replace(" ", "-"): v for k, v in {**first, **second}.items()})
        print("readpst and the hashes: %.0f s" % (time.monotonic() - start))
        self.assertEqual(pypff_attachment_sizes(pst), {**{k: GIB for k in first}, "large 9": 16 << 20})
        run = subprocess.run(["pffinfo", pst], capture_output=True, text=True, errors="replace")
        self.assertEqual(run.returncode, 0, run.stdout[-4000:] + run.stderr[-4000:])
        start = time.monotonic()
        self.assertIn(strict_reader.strict_read(pst), (None, []))
        print("pstsdk-read: %.0f s" % (time.monotonic() - start))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--convert", required=True)
    parser.add_argument("--pst", required=True)
    ARGS, rest = parser.parse_known_args()
    result = unittest.main(argv=[sys.argv[0]] + rest, verbosity=2, exit=False).result
    if not result.wasSuccessful():
        sys.exit(1)
    # 77: every test skipped, which ctest shows as skipped (with the reason in the output).
    sys.exit(77 if result.skipped and len(result.skipped) == result.testsRun else 0)


if __name__ == "__main__":
    main()
