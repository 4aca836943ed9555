#!/usr/bin/python3
"""Writes a small export tree whose conversion must give the same bytes on Linux and on Windows: the folder
and file names of wine_unicode_test.py, and messages whose text the two systems' converters read differently
unless the program decides itself (UTF-16 with and without a byte-order mark, UTF-7, GB18030, the East Asian
double-byte charsets, ISO-2022-KR, ISO 8859-7, TIS-620, the undefined bytes of windows-1252), and meeting
requests whose time zone is described, or only named (Linux reads that zone from the system's zone files,
Windows from libical's, installed beside the program).

Usage: charset_export.py TARGET_FOLDER
"""
import base64
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
from wine_unicode_test import MAILBOX, TREE, message  # noqa: E402


def raw(n, subject, content_type, body, transfer="base64", extra=""):
    head = ("From: =?utf-7?Q?J+APw-rgen?= <j@example.com>\r\nTo: b@example.org\r\nSubject: %s\r\n"
            "Date: Tue, 02 Jan 2024 09:%02d:00 +0100\r\nMessage-ID: <same-bytes-%d@velmora.test>\r\n%s"
            "MIME-Version: 1.0\r\nContent-Type: %s\r\nContent-Transfer-Encoding: %s\r\n\r\n"
            % (subject, n, n, extra, content_type, transfer))
    if transfer == "base64":
        body = base64.encodebytes(body).replace(b"\n", b"\r\n")
    return head.encode("ascii") + body


def calendar(n, zone_block, tzid):
    ics = ("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Velmora//Test//EN\r\nMETHOD:REQUEST\r\n%s"
           "BEGIN:VEVENT\r\nUID:same-bytes-%d@velmora.test\r\nDTSTAMP:20240102T080000Z\r\n"
           "DTSTART;TZID=%s:20240315T100000\r\nDTEND;TZID=%s:20240315T110000\r\n"
           "RRULE:FREQ=WEEKLY;COUNT=3\r\nSUMMARY:Planung\r\n"
           "ORGANIZER;CN=Org:mailto:o@example.com\r\nATTENDEE;PARTSTAT=NEEDS-ACTION:mailto:b@example.org\r\n"
           "END:VEVENT\r\nEND:VCALENDAR\r\n" % (zone_block, n, tzid, tzid))
    return raw(n, "Planung %d" % n, "text/calendar; method=REQUEST; charset=utf-8", ics.encode("utf-8"))


BERLIN = ("BEGIN:VTIMEZONE\r\nTZID:W. Europe Standard Time\r\n"
          "BEGIN:STANDARD\r\nDTSTART:16011028T030000\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=10\r\n"
          "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nEND:STANDARD\r\n"
          "BEGIN:DAYLIGHT\r\nDTSTART:16010325T020000\r\nRRULE:FREQ=YEARLY;BYDAY=-1SU;BYMONTH=3\r\n"
          "TZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nEND:DAYLIGHT\r\nEND:VTIMEZONE\r\n")

TEXT = "Grüße aus Zürich — 東京 😀\r\n"
CHARSET_MESSAGES = {
    "utf16-no-mark.eml": raw(1, "UTF-16 without a mark", "text/plain; charset=utf-16", TEXT.encode("utf-16-be")),
    "utf16-le-mark.eml": raw(2, "UTF-16 with a mark", "text/plain; charset=utf-16",
                             b"\xff\xfe" + TEXT.encode("utf-16-le")),
    "utf16-mislabelled.eml": raw(3, "UTF-16 called ASCII", "text/plain; charset=us-ascii",
                                 TEXT.encode("utf-16-le")),
    "utf7.eml": raw(4, "=?utf-7?B?%s?=" % base64.b64encode(TEXT.strip().encode("utf-7")).decode(),
                    "text/plain; charset=utf-7", TEXT.encode("utf-7"), transfer="7bit"),
    "gb18030.eml": raw(5, "=?gb18030?B?%s?=" % base64.b64encode("回复：性能".encode("gb18030")).decode(),
                       "text/plain; charset=gb2312", "回复：性能问题 \U00020000\r\n".encode("gb18030")),
    "cp1252-holes.eml": raw(6, "windows-1252", "text/plain; charset=windows-1252",
                            b"caf\xe9 \x80 \x81\x8d\x8f\x90\x9d\r\n", transfer="8bit"),
    "shift_jis.eml": raw(9, "Shift_JIS", "text/plain; charset=shift_jis",
                         "会議〜①ｱｲ\r\n".encode("cp932") + b"\xf0\x40\x80\r\n", transfer="8bit"),
    "euc-jp.eml": raw(10, "EUC-JP", "text/plain; charset=euc-jp", "日本語の本文\r\n".encode("euc-jp"), transfer="8bit"),
    "iso-2022-jp.eml": raw(11, "=?iso-2022-jp?B?%s?=" % base64.b64encode("件名".encode("iso-2022-jp")).decode(),
                           "text/plain; charset=iso-2022-jp", "本文です\r\n".encode("iso-2022-jp"), transfer="7bit"),
    "euc-kr.eml": raw(12, "EUC-KR", "text/plain; charset=euc-kr", "안녕하세요 갂\r\n".encode("cp949"), transfer="8bit"),
    "iso-2022-kr.eml": raw(16, "ISO-2022-KR", "text/plain; charset=iso-2022-kr", "안녕하세요\r\n".encode("iso2022_kr"),
                           transfer="7bit"),
    "big5.eml": raw(13, "Big5", "text/plain; charset=big5", "中文內容\r\n".encode("big5") + b"\x81\x40\r\n",
                    transfer="8bit"),
    "greek.eml": raw(14, "ISO 8859-7", "text/plain; charset=iso-8859-7", b"\xa4 \xc1\xe8\xde\xed\xe1\r\n",
                     transfer="8bit"),
    "thai.eml": raw(15, "TIS-620", "text/plain; charset=tis-620", "สวัสดี\r\n".encode("tis-620"), transfer="8bit"),
    "meeting-named-zone.eml": calendar(7, "", "Europe/Berlin"),
    "meeting-described-zone.eml": calendar(8, BERLIN, "W. Europe Standard Time"),
}


def main():
    if len(sys.argv) != 2:
        print(__doc__)
        return 2
    source = os.path.join(sys.argv[1], MAILBOX)
    n = 100
    for folder, files in TREE.items():
        os.makedirs(os.path.join(source, folder), exist_ok=True)
        for name in files:
            n += 1
            with open(os.path.join(source, folder, name), "wb") as fh:
                fh.write(message(os.path.splitext(name)[0], n))
    folder = os.path.join(source, "Zeichensätze")
    os.makedirs(folder, exist_ok=True)
    for name, data in CHARSET_MESSAGES.items():
        with open(os.path.join(folder, name), "wb") as fh:
            fh.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
