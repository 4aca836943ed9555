"""Microsoft's PST SDK as a strict reader (pstsdk-read in the shared tools folder), for every reader check.

strict_read(path) -> None when the tool is absent (the shared folder is not there; the reason is printed once
to standard error), else a list of problems ([] when the SDK read the whole file as sound).
"""
import os
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
_told = []


def tool():
    shared = os.environ.get("VELMORA_SHARED") or os.path.join(os.path.dirname(ROOT), "shared")
    path = os.path.join(shared, "tools", "pstsdk-read")
    return path if os.access(path, os.X_OK) else None


def strict_read(path):
    exe = tool()
    if exe is None:
        if not _told:
            _told.append(True)
            print("pstsdk-read skipped: no shared tools folder (VELMORA_SHARED or ../shared)", file=sys.stderr)
        return None
    # Exit 0 sound, 1 errors found, 3 an assertion of the SDK fired, 2 cannot open: all but 0 are problems.
    run = subprocess.run([exe, "-q", path], capture_output=True, text=True, errors="replace")
    if run.returncode == 0:
        return []
    lines = [l for l in (run.stdout + run.stderr).splitlines() if l.strip()]
    # This reader flags every XXBLOCK tree (over 1,021 blocks) holding a block under 8,176 bytes, the final one
    # included: any stream over 8,347,696 bytes whose length is not a multiple of 8,176. No layout avoids it
    # for a value's stream (an attachment's bytes): lcbTotal must equal the sum of the blocks, a block holds at
    # most 8,176 bytes, and padding the final block changes the bytes pypff, pffexport and readpst return.
    # The row matrix of a table past 1,021 blocks keeps a short final block too, reported the same way: this
    # reader counts a table's rows from the matrix's size, so a final block padded with zeros gains rows. Heaps write their final block full at that size, so a short heap block is an error. Told, not
    # counted; any other error fails.
    errors = [l for l in lines if l.startswith("ERROR")]
    deep = [l for l in errors if l.startswith("ERROR [data-tree]") and " level 0x2 " in l
            and "short non-final data block" in l]
    if run.returncode == 1 and errors and len(deep) == len(errors):
        print("pstsdk-read: %d XXBLOCK tree(s) reported short, not counted" % len(deep), file=sys.stderr)
        return []
    return ["pstsdk-read (exit %d): %s" % (run.returncode, l) for l in lines[:20]]
