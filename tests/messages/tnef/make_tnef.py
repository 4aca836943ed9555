#!/usr/bin/python3
"""Writes the TNEF test messages of this folder (run it here to make them again).

The TNEF bytes follow the published layout: signature, key, then attributes (level, tag, length, data,
checksum); message properties as a counted list of typed values; the RTF body in compressed form made of
literal runs only, closed by the end reference, with its CRC.
"""
import base64
import struct

SIGNATURE = 0x223E9F78
PREFILL = (b"{\\rtf1\\ansi\\mac\\deff0\\deftab720{\\fonttbl;}{\\f0\\fnil \\froman \\fswiss \\fmodern \\fscript "
           b"\\fdecor MS Sans SerifSymbolArialTimes New RomanCourier{\\colortbl\\red0\\green0\\blue0\r\n\\par "
           b"\\pard\\plain\\f0\\fs20\\b\\i\\u\\tab\\tx")


def crc32_rtf(data):
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ (0xEDB88320 if crc & 1 else 0)
    return crc


def compress_rtf(raw):
    out = bytearray()
    pos = len(PREFILL)
    i = 0
    while True:
        control, run, end = 0, bytearray(), False
        for bit in range(8):
            if i < len(raw):
                run.append(raw[i])
                i += 1
                pos += 1
            else:  # the end: a reference to the current write position
                control |= 1 << bit
                run += struct.pack(">H", ((pos % 4096) << 4) | 0)
                end = True
                break
        out.append(control)
        out += run
        if end:
            break
    return struct.pack("<IIII", len(out) + 12, len(raw), 0x75465A4C, crc32_rtf(out)) + bytes(out)


def attribute(level, tag, data):
    return struct.pack("<BII", level, tag, len(data)) + data + struct.pack("<H", sum(data) & 0xFFFF)


def padded(b):
    return b + b"\0" * (-len(b) % 4)


def prop(ptype, pid, value):
    head = struct.pack("<HH", ptype, pid)
    if ptype in (0x001F, 0x001E, 0x0102):
        return head + struct.pack("<II", 1, len(value)) + padded(value)
    return head + struct.pack("<I", value)


def props(*items):
    return struct.pack("<I", len(items)) + b"".join(items)


def unicode(s):
    return (s + "\0").encode("utf-16-le")


def tnef(message_class, message_props, files):
    out = struct.pack("<IH", SIGNATURE, 0x0001)
    out += attribute(1, 0x00089006, struct.pack("<I", 0x00010000))
    out += attribute(1, 0x00069007, struct.pack("<II", 1252, 0))
    out += attribute(1, 0x00078008, message_class.encode() + b"\0")
    if message_props:  # an empty list is legal, but some readers refuse it
        out += attribute(1, 0x00069003, props(*message_props))
    for name, mime, data in files:
        out += attribute(2, 0x00069002, struct.pack("<HIHHI", 1, 0xFFFFFFFF, 0, 0, 0))
        out += attribute(2, 0x00018010, name.encode("ascii", "replace")[:12] + b"\0")
        out += attribute(2, 0x0006800F, data)
        out += attribute(2, 0x00069005, props(prop(0x001F, 0x3707, unicode(name)),
                                               prop(0x001F, 0x370E, unicode(mime)), prop(0x0003, 0x3705, 1)))
    return out


def mail(name, subject, parts):
    boundary = "tnef-" + name
    text = ("From: Hana Ito <hana@example.com>\nTo: Ivo Petrov <ivo@example.net>\nSubject: %s\n"
            "Date: Mon, 05 Feb 2024 10:00:00 +0000\nMessage-ID: <%s@example.com>\nMIME-Version: 1.0\n"
            "Content-Type: multipart/mixed; boundary=\"%s\"\n\n" % (subject, name, boundary))
    for headers, body in parts:
        text += "--%s\n%s\n\n%s\n" % (boundary, headers, body)
    text += "--%s--\n" % boundary
    with open(name + ".eml", "w", newline="") as fh:
        fh.write(text.replace("\n", "\r\n"))


def tnef_part(data):
    return ("Content-Type: application/ms-tnef; name=\"winmail.dat\"\nContent-Transfer-Encoding: base64\n"
            "Content-Disposition: attachment; filename=\"winmail.dat\"",
            base64.encodebytes(data).decode())


rtf = b"{\\rtf1\\ansi\\deff0{\\fonttbl{\\f0 Arial;}}\\f0\\fs20 The {\\b rich} body of the wrapped mail.\\par}"
mail("tnef-rtf-body", "Figures for February", [tnef_part(tnef(
    "IPM.Microsoft Mail.Note",
    [prop(0x0102, 0x1009, compress_rtf(rtf)), prop(0x001F, 0x1000, unicode("The rich body of the wrapped mail."))],
    [("report.txt", "text/plain", b"Monthly figures\r\n"), ("chart.png", "image/png", b"\x89PNG\r\n\x1a\n" + bytes(64))]))])
mail("tnef-beside-plain-body", "Budget sheet", [
    ("Content-Type: text/plain; charset=us-ascii", "The sheet is attached."),
    tnef_part(tnef("IPM.Microsoft Mail.Note", [], [("budget 2024.xlsx", "application/vnd.openxmlformats-"
                                                    "officedocument.spreadsheetml.sheet", b"PK\x03\x04" + bytes(40))]))])
mail("tnef-undecodable", "Broken wrapper", [
    ("Content-Type: text/plain; charset=us-ascii", "See the attachment."),
    tnef_part(b"\x78\x9f\x3e\x22\x01\x00" + b"\x01\x06\x90\x08\x00\xff\xff\xff\x7f" + bytes(20))])
