#!/usr/bin/python3
"""Whole-conversion benchmark: generates exports with mail_gen, then for each one prints side by side the I/O
floor (io_floor: read every .eml, write one file of their bytes), the conversion (velmora-convert --quiet: wall
and CPU time, messages/s, MB/s, peak RSS, CPU per message) and readpst -j 0 reading the result back.

Usage: bench.py --build BUILD_DIR [--counts 10000,100000] [--shapes spread,one] [--mix small|real]
                [--work DIR] [--keep] [--check] [--smoke]

--smoke converts two small exports of the real mix (a few seconds) and fails on any fault: a conversion that
does not exit 0, a file velmora-pst check rejects, or readpst finding another message count. It never fails
on slowness. Times come from wait4() of each child; wall times depend on the machine's load, CPU times less.

Conversions run with SOURCE_DATE_EPOCH set, so the file's bytes depend on the export and the build's output
rules only: the last column is the start of the file's SHA-256, equal between two builds that write the same
bytes (a speed change must leave it as it was).
"""
import argparse
import hashlib
import os
import shutil
import subprocess
import sys
import tempfile
import time


# Any fixed value: the time the converter stamps and the seed of its keys.
REPRODUCIBLE_ENV = dict(os.environ, SOURCE_DATE_EPOCH="1765000000")


def run_measured(cmd, env=None):
    """Runs cmd reaping it with wait4 itself, so its own CPU time and peak RSS are known."""
    start = time.monotonic()
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, env=env)
    out = proc.stdout.read()
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    proc.returncode = os.waitstatus_to_exitcode(status)
    wall = time.monotonic() - start
    if proc.returncode != 0:
        sys.stderr.write("%s exited %d\n%s" % (" ".join(cmd), proc.returncode,
                                                err.decode(errors="replace")[-2000:]))
    return proc.returncode, wall, usage.ru_utime + usage.ru_stime, usage.ru_maxrss * 1024, out.decode(
        errors="replace")


def mbox_messages(folder):
    """Messages in readpst's mbox output: lines that start with "From " (readpst quotes such body lines)."""
    n = 0
    for base, _, files in os.walk(folder):
        for name in files:
            with open(os.path.join(base, name), "rb") as fh:
                for line in fh:
                    if line.startswith(b"From "):
                        n += 1
    return n


def source(args, shape, count):
    """The generated export for (shape, count), made once per work folder."""
    path = os.path.join(args.work, "src-%s-%s-%d" % (args.mix, shape, count))
    if not os.path.exists(os.path.join(path, ".done")):
        shutil.rmtree(path, True)
        cmd = [args.mail_gen, path, str(count), "--shape", shape, "--mix", args.mix]
        if args.max_attachment:
            cmd += ["--max-attachment", str(args.max_attachment)]
        code, wall, _, _, out = run_measured(cmd)
        if code != 0:
            sys.exit("mail_gen failed")
        print("generated %s in %.1f s: %s" % (os.path.basename(path), wall, out.strip()), flush=True)
        open(os.path.join(path, ".done"), "w").close()
    return path


def bench_one(args, shape, count):
    src = source(args, shape, count)
    faults = []
    row = {"case": "%s %s %d" % (args.mix, shape, count), "count": count}
    floor_out = os.path.join(args.work, "floor.bin")
    code, row["floor_wall"], row["floor_cpu"], _, out = run_measured([args.io_floor, src, floor_out])
    row["bytes"] = int(out.split()[2]) if code == 0 else 0
    if os.path.exists(floor_out):
        os.remove(floor_out)

    pst = os.path.join(args.work, "out.pst")
    if os.path.exists(pst):
        os.remove(pst)
    code, row["wall"], row["cpu"], row["rss"], _ = run_measured([args.convert, "--quiet", src, pst],
                                                              REPRODUCIBLE_ENV)
    if code != 0:
        faults.append("velmora-convert exited %d" % code)
    if args.check and code == 0:
        if run_measured([args.pst, "check", pst])[0] != 0:
            faults.append("velmora-pst check rejects the file")

    row["readpst_wall"] = row["readpst_count"] = None
    if shutil.which("readpst") and code == 0:
        out_dir = tempfile.mkdtemp(prefix="readpst-", dir=args.work)
        rcode, row["readpst_wall"], _, _, _ = run_measured(["readpst", "-j", "0", "-D", "-q", "-o", out_dir, pst])
        row["readpst_count"] = mbox_messages(out_dir) if rcode == 0 else None
        shutil.rmtree(out_dir, True)
        if rcode != 0:
            faults.append("readpst exited %d" % rcode)
        elif row["readpst_count"] != count:
            faults.append("readpst read %s messages of %d" % (row["readpst_count"], count))
    elif not shutil.which("readpst"):
        print("readpst not installed: the read-back column is empty", flush=True)
    if os.path.exists(pst):
        row["pst_bytes"] = os.path.getsize(pst)
        digest = hashlib.sha256()
        with open(pst, "rb") as fh:
            for chunk in iter(lambda: fh.read(1 << 20), b""):
                digest.update(chunk)
        row["sha256"] = digest.hexdigest()[:16]
        os.remove(pst)
    return row, faults


def show(rows):
    heads = ["case", "MB in", "floor wall", "floor CPU", "convert wall", "convert CPU", "x floor", "msg/s",
             "MB/s", "peak RSS", "CPU/msg", "readpst -j 0", "sha256"]
    table = [heads]
    for r in rows:
        mb = r["bytes"] / 1e6
        floor = max(r["floor_wall"], 1e-6)
        table.append([
            r["case"], "%.0f" % mb, "%.2f s" % r["floor_wall"], "%.2f s" % r["floor_cpu"], "%.2f s" % r["wall"],
            "%.2f s" % r["cpu"], "%.1f" % (r["wall"] / floor), "%.0f" % (r["count"] / r["wall"]),
            "%.1f" % (mb / r["wall"]), "%.0f MiB" % (r["rss"] / 2**20), "%.0f us" % (r["cpu"] * 1e6 / r["count"]),
            "-" if r["readpst_wall"] is None else "%.2f s (%s msgs)" % (r["readpst_wall"], r["readpst_count"]),
            r.get("sha256", "-")])
    widths = [max(len(t[i]) for t in table) for i in range(len(heads))]
    for t in table:
        print("| " + " | ".join(c.ljust(w) for c, w in zip(t, widths)) + " |")
    print("(warm page cache for every column; wall times move with the machine's load, CPU times much less)")
    # The curve of the cost per message: each shape's largest run against its smallest.
    for shape in sorted({r["case"].rsplit(" ", 1)[0] for r in rows}):
        runs = sorted((r for r in rows if r["case"].rsplit(" ", 1)[0] == shape), key=lambda r: r["count"])
        if len(runs) > 1:
            first, last = (r["cpu"] / r["count"] for r in (runs[0], runs[-1]))
            print("CPU per message, %s: %d messages %+.0f%% against %d" % (
                shape, runs[-1]["count"], 100 * (last / first - 1), runs[0]["count"]))


def main():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", help="build folder holding bench/ and cli/ programs")
    p.add_argument("--mail-gen"), p.add_argument("--io-floor"), p.add_argument("--convert"), p.add_argument("--pst")
    p.add_argument("--counts", default="10000,100000")
    p.add_argument("--shapes", default="spread,one")
    p.add_argument("--mix", default="small", choices=["small", "real"])
    p.add_argument("--max-attachment", type=int, default=0)
    p.add_argument("--work", help="folder for sources and output (kept sources are reused)")
    p.add_argument("--keep", action="store_true", help="keep the generated sources")
    p.add_argument("--check", action="store_true", help="run velmora-pst check on every file")
    p.add_argument("--smoke", action="store_true", help="small run that fails on faults only")
    args = p.parse_args()
    for name, rel in (("mail_gen", "bench/mail_gen"), ("io_floor", "bench/io_floor"),
                      ("convert", "cli/velmora-convert"), ("pst", "cli/velmora-pst")):
        if getattr(args, name) is None:
            if not args.build:
                p.error("--build or --%s is needed" % name.replace("_", "-"))
            setattr(args, name, os.path.join(args.build, rel))
    if args.smoke:
        # Attachments capped at 300 KB so that the run stays at a few seconds.
        args.counts, args.mix, args.check, args.max_attachment = "150", "real", True, 300000
    made_work = args.work is None
    args.work = args.work or tempfile.mkdtemp(prefix="velmora-bench-")
    os.makedirs(args.work, exist_ok=True)
    rows, faults = [], []
    try:
        for count in (int(c) for c in args.counts.split(",")):
            for shape in args.shapes.split(","):
                row, f = bench_one(args, shape, count)
                rows.append(row)
                faults += ["%s: %s" % (row["case"], x) for x in f]
        show(rows)
    finally:
        if made_work and not args.keep:
            shutil.rmtree(args.work, True)
    for f in faults:
        print("FAULT " + f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
