#!/bin/sh
# verify_bench.sh BUILD_DIR [COUNT] [WORK_DIR]: the time and peak memory that velmora-convert --verify adds.
# Converts one generated mailbox of COUNT messages (default 100,000; every tenth with a 20 KB attachment, one
# in fifty with an attached message) twice, without and with --verify, and prints both wall times, their
# ratio and each run's peak RSS. Goal: the verification under a third of the conversion's time, peak RSS under
# 100 MiB. WORK_DIR (default a fresh temporary folder) needs about 1.5 KB per message for the export.
set -eu
build=$1
count=${2:-100000}
work=${3:-$(mktemp -d)}
mkdir -p "$work/out"
if [ ! -d "$work/export/Inbox" ]; then
  /usr/bin/python3 - "$work/export" "$count" <<'PY'
import base64, os, sys
top, count = sys.argv[1], int(sys.argv[2])
blob = base64.encodebytes(bytes(range(256)) * 80).decode()
for n in range(count):
    folder = os.path.join(top, ("Inbox", "Sent", "Archive/2019", "Projects/Velmora")[n % 4])
    os.makedirs(folder, exist_ok=True)
    head = ("From: Sender %d <s%d@example.org>\r\nTo: Rcpt <r@example.org>, Other <o%d@example.net>\r\n"
            "Subject: Bench message %d\r\nDate: Mon, 2 Mar 2020 10:%02d:00 +0000\r\n"
            "Message-ID: <bench-%d@example.org>\r\nMIME-Version: 1.0\r\n" % (n, n, n, n, n % 60, n))
    text = "Body of message %d.\r\n" % n * 20
    if n % 10 == 0:
        body = ("Content-Type: multipart/mixed; boundary=B\r\n\r\n--B\r\nContent-Type: text/plain\r\n\r\n%s\r\n"
                "--B\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; "
                "filename=a%d.bin\r\nContent-Transfer-Encoding: base64\r\n\r\n%s\r\n" % (text, n, blob))
        if n % 50 == 0:
            body += ("--B\r\nContent-Type: message/rfc822\r\n\r\nFrom: In <i@example.org>\r\nSubject: inner %d\r\n"
                     "\r\ninner text\r\n" % n)
        body += "--B--\r\n"
    else:
        body = "Content-Type: text/plain; charset=utf-8\r\n\r\n" + text
    with open(os.path.join(folder, "%06d.eml" % n), "w", newline="") as f:
        f.write(head + body)
PY
fi
run() {
  rm -f "$work/out/m.pst"
  /usr/bin/time -f "%e %M %U %S" -o "$work/time" "$build/cli/velmora-convert" --quiet "$@" "$work/export" "$work/out/m.pst"
  cat "$work/time"
}
# Wall time, and processor time (user + system), which a busy machine disturbs less.
plain=$(run)
verified=$(run --verify)
/usr/bin/python3 - "$count" $plain $verified <<'PY'
import sys
n = sys.argv[1]
wall0, rss0, cpu0 = float(sys.argv[2]), int(sys.argv[3]), float(sys.argv[4]) + float(sys.argv[5])
wall1, rss1, cpu1 = float(sys.argv[6]), int(sys.argv[7]), float(sys.argv[8]) + float(sys.argv[9])
print("%s messages: conversion %.2f s wall, %.2f s cpu, peak %d KiB" % (n, wall0, cpu0, rss0))
print("with --verify: %.2f s wall, %.2f s cpu, peak %d KiB" % (wall1, cpu1, rss1))
print("--verify adds %.0f%% wall, %.0f%% cpu (goal: under 33%%)" % (100 * (wall1 - wall0) / wall0,
                                                                 100 * (cpu1 - cpu0) / cpu0))
PY
