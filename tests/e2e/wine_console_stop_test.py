#!/usr/bin/python3
"""The Windows stop under Wine: a run of the Windows velmora-convert that gets the console's Ctrl+C (what a
user presses in the console window) stops as a confirmed Stop. It exits with 130, says "Stopped", its report
says stopped and counts what was converted; the store holds exactly that, Linux's readers read it, and nothing
is left beside it.

Wine 8 delivers Ctrl+C only: Ctrl+Break fails to be sent, and the console closing, log-off and shutdown
cannot be sent by a program at all (on Windows neither).

Usage: wine_console_stop_test.py --convert velmora-convert.exe --stopper velmora-console-stop.exe

Exit status 0 passed, 1 failed, 77 skipped (no wine, or no Windows build), with the reason on standard output.
"""
import argparse
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK_READERS = os.path.join(os.path.dirname(HERE), "readers", "check_readers.py")
MESSAGES = 4000  # far more than a run gets through in the half second before the stop


def windows_paths(*paths):
    # One winepath for them all: each start of a Wine program takes seconds.
    run = subprocess.run(["winepath", "-w"] + list(paths), capture_output=True, text=True, check=True)
    return run.stdout.splitlines()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--convert", required=True)
    parser.add_argument("--stopper", required=True)
    args = parser.parse_args()
    if not shutil.which("wine") or not shutil.which("winepath"):
        print("skipped: wine is not installed")
        return 77
    for exe in (args.convert, args.stopper):
        if not os.path.isfile(exe):
            print("skipped: no Windows build of " + exe)
            return 77

    with tempfile.TemporaryDirectory(prefix="velmora-wine-stop-") as tmp:
        inbox = os.path.join(tmp, "export", "big", "Inbox")
        os.makedirs(inbox)
        for i in range(MESSAGES):
            with open(os.path.join(inbox, "m%04d.eml" % i), "w") as fh:
                fh.write("From: a@example.com\r\nSubject: m%04d\r\n\r\n%s\r\n" % (i, "x" * 2000))
        out = os.path.join(tmp, "out")
        os.makedirs(out)
        pst = os.path.join(out, "big.pst")
        win_pst, win_convert, win_source = windows_paths(pst, os.path.abspath(args.convert),
                                                         os.path.join(tmp, "export", "big"))
        start = time.time()
        run = subprocess.run(["wine", args.stopper, "ctrl-c", win_pst, win_convert, "--json", win_source, win_pst],
                             capture_output=True, timeout=600)
        seconds = time.time() - start
        err = run.stderr.decode("utf-8", "replace")
        problems = []
        if run.returncode != 130:
            problems.append("exit status %d, not 130: %s" % (run.returncode, err[-2000:]))
        if "Stopped: " not in err:
            problems.append("no \"Stopped\" line: " + err[-2000:])
        converted = None
        try:
            report = json.loads(run.stdout)
            m = report["mailboxes"][0]
            converted = m["converted"]
            if not report["stopped"] or converted >= MESSAGES:
                problems.append("the report does not say the run was stopped: %s" % run.stdout[:500])
            if m["queued"] != converted + len(m["not_converted"]) + m["not_reached"]:
                problems.append("the report's counts do not add up: %s" % m)
        except (ValueError, KeyError, IndexError) as e:
            problems.append("no report (%s): %s" % (e, run.stdout[:500]))
        left = sorted(set(os.listdir(out)) - {"big.pst"})
        if left:
            problems.append("left beside the .pst: %s" % left)
        if converted is not None and os.path.isfile(pst):
            want = os.path.join(tmp, "expected.json")
            with open(want, "w") as fh:
                json.dump({"folders": {"Inbox": converted}}, fh)
            check = subprocess.run(["/usr/bin/python3", CHECK_READERS, pst, want], capture_output=True, text=True)
            if check.returncode == 77:
                print("readers not installed: the file was written, not read back")
            elif check.returncode != 0:
                problems.append("the readers: " + check.stdout + check.stderr)
        elif not os.path.isfile(pst):
            problems.append("no %s was written" % pst)
        for p in problems:
            print("PROBLEM: " + p)
        print("Ctrl+C under Wine: %s after %.1f s, %s of %d messages converted and read back" %
              ("failed" if problems else "stopped", seconds, converted, MESSAGES))
        return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
