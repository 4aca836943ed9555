#!/usr/bin/python3
"""Compares the messages of one folder of a .pst, as three independent readers see them, with Python's own
parse of the .eml files they were made from.

Usage: compare_messages.py MANIFEST.json FILE.pst [--require KEY=SHARE ...]

MANIFEST.json: {"folder": PATH below the store's top folder ("Inbox/X"), "files": [.eml paths in the order
the messages were saved], "unread": how many were saved without MSGFLAG_READ (optional)}. Messages are paired with files by position (the contents table keeps the order
of saving); a reader that lists a different number of messages fails every field.

Readers: pypff (python3-pypff), pffexport (pff-tools), readpst (pst-utils). Fields: subject, sender (name or
address as the reader shows it), recipients (To and Cc), date (sent time, to the second), message_id,
body_text, body_html, attachments (decoded bytes, compared as a multiset of SHA-256 with CRLF as LF),
embedded (attached messages; pypff only). The folder's content and unread counts (pypff) must equal the
messages saved and those saved unread, and agree with the messages' own flags. Microsoft's PST SDK
(strict_reader.py) must read the whole file as sound when the shared tools are there. A field
the source does not have is not counted; a field a reader cannot show is not counted for that reader.

--require KEY=SHARE: KEY is "overall" (every field of every reader together), "all" (each field of each
reader), a field name, or READER.FIELD; exit status 1 when a matched share is
below. Exit status 77 when a reader is not installed.

Differences that are not faults, and how they are counted:
- S/MIME signed mail is stored as Outlook stores it: the whole signed MIME entity as one attachment
  (smime.p7m, [MS-OXOSMIME]); the source's own parts are then not attachments of the message. Such files
  are compared on envelope fields only.
- Header or body bytes in a legacy charset without a charset label cannot be decoded by Python (it shows
  U+FFFD); our importer guesses one. Such fields are listed as not compared.
- Python parses message/delivery-status and similar parts into header blocks; the part's bytes are then not
  known independently, and such a message's attachments are not compared.
- The sender compared is From, which Outlook keeps in PidTagSentRepresenting* (the Sender header, often a
  mailing list's bounce address, goes to PidTagSender*).
- Where Python's parse is not what a mail user sees, the reference follows mail programs and Outlook: a
  byte-order mark or a line of blanks at the end of the header block, "Name addr@host" without angle
  brackets or only a name, "addr (Name)", the root of a multipart/related named by its "type", the first
  text part of a multipart/mixed as the body, message/global as an attached message, uuencoded blocks in
  plain text (attachments), the content of a multipart without a boundary (its text). S/MIME signed mail
  is compared on envelope fields only (see above).
- A calendar invitation becomes a meeting request ([MS-OXCICAL]): its calendar part is then the meeting's
  properties, not a file, and is taken out of the source's attachments for such a message (the class pypff
  reads says which). pffexport writes neither recipients nor attachments of a meeting item, and readpst
  writes a calendar file of its own making for one: those fields are not compared for those readers.
- A TNEF part (winmail.dat) is opened into the files it wraps, which Python does not read: such a message's
  attachments are not compared.
- readpst runs with -j 0: its parallel jobs can pick the same output name for two messages, and one is lost.
- pffexport shows no Message-ID; readpst rebuilds headers from the stored transport headers when there are any.
"""
import datetime
import email
import email.policy
import email.utils
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "readers"))
from strict_reader import strict_read  # noqa: E402

FIELDS = ["subject", "sender", "recipients", "date", "message_id", "body_text", "body_html", "attachments",
          "embedded"]
READERS = ["pypff", "pffexport", "readpst"]
COUNTS = {}  # the folder's content and unread counts as pypff reads them
PYPFF_FLAGS = []  # PidTagMessageFlags of each message, as pypff reads them
PFF_FLAGS = {}  # the same as other readers show them


def lf(data):
    return data.replace(b"\r\n", b"\n")


def sha(data):
    return hashlib.sha256(lf(data)).hexdigest()


def norm_text(s):
    """Text compared without line-end, trailing-blank or blank-line differences."""
    if s is None:
        return None
    if isinstance(s, bytes):
        s = s.decode("utf-8", "replace")
    s = s.replace("\r\n", "\n").replace("\r", "\n").replace("\x00", "")
    lines = [l.rstrip() for l in s.split("\n")]
    return "\n".join(l for l in lines if l).strip()


def norm_words(s):
    return " ".join(unescape(s or "").split())


def unescape(s):
    """Raw 8-bit header bytes come out of Python's parser as surrogate escapes; RFC 6532 makes them UTF-8."""
    if isinstance(s, str) and any("\udc80" <= c <= "\udcff" for c in s):
        return s.encode("utf-8", "surrogateescape").decode("utf-8", "replace")
    return s


def safe(fn, default=None):
    try:
        return fn()
    except Exception:
        return default


# ---- The source, as Python's email package reads it

def as_mail_programs_write(raw):
    """Two shapes Python's parser reads differently from mail programs: a UTF-8 byte-order mark before the
    first header (Python takes the header for body text), and a line of blanks ending the header block
    (Python takes it for a folded header and the text after it for more headers)."""
    if raw.startswith(b"\xef\xbb\xbf"):
        raw = raw[3:]
    end = re.search(rb"\n\r?\n", raw)
    blank = re.search(rb"\n[ \t]+(\r?\n)", raw[:end.end() if end else len(raw)])
    if blank:
        raw = raw[:blank.start() + 1] + blank.group(1) + raw[blank.end():]
    return raw


def mailbox(name, addr):
    """"Name addr@host" without angle brackets: Python reads the words as a quoted local part
    ('"name addr"@host'); a mail user sees a name and an address."""
    m = re.match(r'^"?(.+?)\s+([^\s"]+)"?@([^@\s]+)$', addr or "")
    if m:
        return name or m.group(1), m.group(2) + "@" + m.group(3)
    if addr and "@" not in addr and (addr[0] == '"' or " " in addr):
        return name or addr.strip('"'), ""  # only a name was written ("From: John Doe")
    return name, addr


def comment_name(header, addr):
    """"addr (Name)": Python drops the comment; mail programs show it as the display name."""
    m = re.search(re.escape(addr or "\0") + r"\s*\(([^()]*)\)", str(header or "")) if addr else None
    return m.group(1).strip() if m else ""


UU_BLOCK = re.compile(r"^begin [0-7]{3,4} ([^\n]+)\n(.*?)^end[ \t\r]*$\n?", re.M | re.S)


def uudecode(block):
    """The bytes of a block's data lines; None when a line is no uuencoded data (the block is then text)."""
    import binascii
    data = b""
    for line in block.split("\n"):
        line = line.rstrip("\r")
        if not line or (line[0] in " `" and len(line) <= 2):
            continue
        part = safe(lambda: binascii.a2b_uu(line))
        if part is None:
            return None
        data += part
    return data


def take_uuencoded(text):
    """uuencoded blocks in plain text are attachments for Outlook, not text: (text without them, [(name,
    bytes)])."""
    files = []

    def take(m):
        data = uudecode(m.group(2))
        if data is None:
            return m.group(0)
        files.append((m.group(1).strip(), data))
        return ""
    return UU_BLOCK.sub(take, text), files


def first_text_rule(msg, plain, html):
    """Python's get_body takes a text/plain and a text/html part anywhere in a multipart/mixed as the two
    bodies; a mail program shows the first text part, and a later one is an attachment. An empty part
    without headers (after a stray delimiter line) is no body either."""
    if plain is not None and not plain.keys() and not (safe(plain.get_content) or "").strip():
        plain = None
    if plain is None or html is None:
        return plain, html
    parents = {}
    for part in msg.walk():
        if part.is_multipart():
            for child in part.get_payload():
                parents[id(child)] = part
    order = [id(p) for p in msg.walk()]
    first, later = (html, plain) if order.index(id(html)) < order.index(id(plain)) else (plain, html)
    parent = parents.get(id(later))
    if parent is not None and parent.get_content_type() == "multipart/mixed" and parents.get(id(first)) is not None:
        if later is plain:
            plain = None
        else:
            html = None
    return plain, html


def related_root(msg, plain, html):
    """Python takes the first part of a multipart/related for its root; RFC 2387 (and Outlook) take the
    first part of the type the "type" parameter names when there is no "start"."""
    for part in msg.walk():
        if part.get_content_type() != "multipart/related" or part.get_param("start") or not part.get_param("type"):
            continue
        want = str(part.get_param("type")).lower()
        children = part.get_payload()
        first = next((c for c in children if c.get_content_type() == want), None)
        if first is None or first is children[0]:
            continue
        if want == "text/html" and html is None:
            html = first
        elif want == "text/plain" and plain is None:
            plain = first
    return plain, html


def source_facts(path):
    with open(path, "rb") as f:
        raw = as_mail_programs_write(f.read())
    msg = email.message_from_bytes(raw, policy=email.policy.default)
    facts = {"file": os.path.basename(path)}
    facts["subject"] = safe(lambda: norm_words(str(msg["subject"])) if msg["subject"] is not None else None)
    sender = safe(lambda: msg["from"].addresses[0])
    if sender:
        name, addr = mailbox(unescape(sender.display_name), unescape(sender.addr_spec))
        facts["sender"] = (name, addr.lower())
    else:
        facts["sender"] = None
    recips = []
    for h in ("to", "cc"):
        for a in safe(lambda: msg[h].addresses, ()) or ():
            if a.addr_spec or a.display_name:
                raw_header = " ".join(str(v) for k, v in msg.raw_items() if k.lower() == h)
                name, addr = mailbox(unescape(a.display_name) or comment_name(raw_header, a.addr_spec),
                                     unescape(a.addr_spec or ""))
                recips.append((name, addr.lower()))
    facts["recipients"] = recips or None
    d = safe(lambda: msg["date"].datetime)
    facts["date"] = int(d.timestamp()) if d is not None and d.tzinfo is not None else None
    facts["message_id"] = safe(lambda: str(msg["message-id"]).strip() if msg["message-id"] else None)
    ctype = msg.get_content_type()
    facts["signed"] = ctype == "multipart/signed" or ctype in ("application/pkcs7-mime", "application/x-pkcs7-mime")
    plain = safe(lambda: msg.get_body(preferencelist=("plain",)))
    html = safe(lambda: msg.get_body(preferencelist=("html",)))
    plain = plain if plain is not None and plain.get_content_type() == "text/plain" else None
    html = html if html is not None and html.get_content_type() == "text/html" else None
    plain, html = related_root(msg, plain, html)
    plain, html = first_text_rule(msg, plain, html)
    text = safe(plain.get_content) if plain is not None else None
    uuencoded = []
    if isinstance(text, str):
        text, uuencoded = take_uuencoded(text)
    facts["body_text"] = norm_text(text) if plain is not None else None
    facts["body_html"] = norm_text(safe(lambda: html.get_payload(decode=True))) if html is not None else None
    atts, embedded = [], []

    def walk(part, depth=0):
        if depth > 50:
            return
        if part is plain or part is html:
            return
        t = part.get_content_type()
        if t in ("message/rfc822", "message/global"):  # RFC 6532's attached message is a message too
            embedded.append(part)
            return
        if part.is_multipart():
            for child in part.get_payload():
                walk(child, depth + 1)
            return
        data = part.get_payload(decode=True) or b""
        if not part.keys() and not data.strip():
            return  # an empty part after a stray delimiter line: nothing a mail program shows
        atts.append(sha(data))

    walk(msg)
    if msg.get_content_maintype() == "multipart" and not msg.is_multipart():
        # No boundary: Python keeps the content as one part; a mail program shows it as the text.
        facts["body_text"], atts = norm_text(safe(lambda: msg.get_payload(decode=True).decode("utf-8", "replace"))), []
    facts["attachments"] = sorted(atts + [sha(data) for _, data in uuencoded])
    # The calendar part a meeting request is made from: the first one not sent as an attachment, else the
    # first attachment that declares a method.
    calendars = [p for p in msg.walk() if p.get_content_type() == "text/calendar"]
    chosen = [p for p in calendars if not p.is_attachment()] or [p for p in calendars if p.get_param("method")]
    facts["calendar"] = sha(chosen[0].get_payload(decode=True) or b"") if chosen else None
    if any(p.get_content_type() in ("application/ms-tnef", "application/vnd.ms-tnef") or
           (p.get_filename() or "").lower() == "winmail.dat" for p in msg.walk()):
        facts["attachments"] = None
    facts["embedded"] = len(embedded)
    # Python parses delivery-status and other message/* parts into header blocks of its own; the bytes of
    # such a part as one attachment are then not known independently.
    if any(p.get_content_type().startswith("message/") and p.get_content_type() != "message/rfc822"
           for p in msg.walk()):
        facts["attachments"] = None
    if facts["signed"]:
        for k in ("body_text", "body_html", "attachments", "embedded"):
            facts[k] = None
    return facts


# ---- pypff

def pypff_folder(f, path):
    root = f.get_root_folder()
    folder = None
    for i in range(root.number_of_sub_folders):
        sub = root.get_sub_folder(i)
        if (sub.name or "").startswith("Top of "):
            folder = sub
    for part in [p for p in path.split("/") if p]:
        nxt = None
        for i in range(folder.number_of_sub_folders):
            if folder.get_sub_folder(i).name == part:
                nxt = folder.get_sub_folder(i)
        folder = nxt
        if folder is None:
            raise RuntimeError("pypff finds no folder " + path)
    return folder


def pypff_entries(m):
    out = {}
    for rs in range(m.number_of_record_sets):
        r = m.get_record_set(rs)
        for e in range(r.number_of_entries):
            entry = r.get_entry(e)
            out.setdefault(entry.entry_type, entry)
    return out


def entry_string(entries, pid):
    e = entries.get(pid)
    return safe(lambda: e.data_as_string) if e is not None else None


def read_pypff(pst, folder_path):
    import pypff
    f = pypff.file()
    f.open(pst)
    folder = pypff_folder(f, folder_path)
    out = []
    for i in range(folder.number_of_sub_messages):
        m = folder.get_sub_message(i)
        entries = pypff_entries(m)
        got = {"subject": norm_words(m.subject or "")}
        # From is PidTagSentRepresenting* ([MS-OXCMAIL] 2.2.3.2.1); PidTagSender* holds the Sender header.
        got["sender"] = (entry_string(entries, 0x0042) or "", (entry_string(entries, 0x0065) or "").lower())
        shown = []
        for pid in (0x0E04, 0x0E03):
            v = entry_string(entries, pid)
            if v:
                shown += [x.strip() for x in v.split(";") if x.strip()]
        got["recipients"] = shown
        t = safe(lambda: m.client_submit_time)
        got["date"] = int(t.replace(tzinfo=datetime.timezone.utc).timestamp()) if t else None
        got["message_id"] = entry_string(entries, 0x1035)
        got["body_text"] = norm_text(safe(lambda: m.plain_text_body))
        got["body_html"] = norm_text(safe(lambda: m.html_body))
        atts = []
        embedded = 0
        for a in range(m.number_of_attachments):
            att = m.get_attachment(a)
            method = safe(lambda: pypff_entries(att).get(0x3705).data_as_integer)
            if method == 5:  # afEmbeddedMessage: a message, not bytes
                embedded += 1
                continue
            size = safe(lambda: att.size, 0) or 0
            data = safe(lambda: att.read_buffer(size)) if size else b""
            if data is None:
                continue  # an embedded message: no bytes to compare
            if len(data) == size:
                atts.append(sha(data))
        got["attachments"] = sorted(atts)
        got["embedded"] = embedded
        got["flags"] = safe(lambda: entries.get(0x0E07).data_as_integer)
        got["class"] = entry_string(entries, 0x001A)
        out.append(got)
    counts = pypff_entries(folder)
    COUNTS["content"] = safe(lambda: counts.get(0x3602).data_as_integer)
    COUNTS["unread"] = safe(lambda: counts.get(0x3603).data_as_integer)
    f.close()
    return out


# ---- pffexport

def read_pffexport(pst, folder_path):
    tmp = tempfile.mkdtemp()
    try:
        target = os.path.join(tmp, "x")
        run = subprocess.run(["pffexport", "-q", "-m", "items", "-f", "all", "-t", target, pst],
                             capture_output=True, text=True, errors="replace")
        if run.returncode != 0:
            raise RuntimeError("pffexport failed: " + run.stderr[-500:])
        base = target + ".export"
        top = [n for n in os.listdir(base) if n.startswith("Top of ")]
        d = os.path.join(base, top[0], *[p for p in folder_path.split("/") if p])
        # One folder per item, named by the kind pffexport sees (Message, Meeting, ...) and its position.
        dirs = sorted((n for n in os.listdir(d) if re.match(r"^[A-Za-z]+\d{5}$", n)), key=lambda n: n[-5:])
        out = []
        for name in dirs:
            md = os.path.join(d, name)
            got = {}
            headers = {}
            hp = os.path.join(md, "OutlookHeaders.txt")
            if not os.path.exists(hp):  # items other than mail (a meeting request) have only their summary
                hp = os.path.join(md, name[:-5] + ".txt")
            if os.path.exists(hp):
                with open(hp, encoding="utf-8", errors="replace") as fh:
                    for line in fh:
                        k, _, v = line.partition(":")
                        headers.setdefault(k.strip(), v.strip())  # the first section is the message's
            got["subject"] = norm_words(headers.get("Subject", ""))
            got["sender"] = (headers.get("Sent representing name", ""),
                             headers.get("Sent representing email address", "").lower())
            t = safe(lambda: datetime.datetime.strptime(headers["Client submit time"][:21], "%b %d, %Y %H:%M:%S"))
            got["date"] = int(t.replace(tzinfo=datetime.timezone.utc).timestamp()) if t else None
            got["flags"] = safe(lambda: int(headers["Flags"].split()[0], 16))
            got["kind"] = name[:-5]
            rp = os.path.join(md, "Recipients.txt")
            shown = []
            if os.path.exists(rp):
                with open(rp, encoding="utf-8", errors="replace") as fh:
                    for line in fh:
                        k, _, v = line.partition(":")
                        if k.strip() in ("Display name", "Email address"):
                            shown.append(v.strip())
            got["recipients"] = shown
            for field, fname in (("body_text", "Message.txt"), ("body_html", "Message.html")):
                p = os.path.join(md, fname)
                got[field] = norm_text(open(p, "rb").read()) if os.path.exists(p) else None
            atts = []
            ad = os.path.join(md, "Attachments")
            if os.path.isdir(ad):
                for an in sorted(os.listdir(ad)):
                    ap = os.path.join(ad, an)
                    if os.path.isfile(ap):
                        atts.append(sha(open(ap, "rb").read()))
            got["attachments"] = sorted(atts)
            out.append(got)
        return out
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# ---- readpst

def read_readpst(pst, folder_path):
    tmp = tempfile.mkdtemp()
    try:
        run = subprocess.run(["readpst", "-j", "0", "-e", "-D", "-q", "-o", tmp, pst], capture_output=True, text=True,
                             errors="replace")
        if run.returncode != 0:
            raise RuntimeError("readpst failed: " + run.stderr[-500:])
        tops = [n for n in os.listdir(tmp) if os.path.isdir(os.path.join(tmp, n))]
        d = os.path.join(tmp, tops[0], *[p for p in folder_path.split("/") if p]) if tops else tmp
        files = [n for n in os.listdir(d) if n.endswith(".eml")] if os.path.isdir(d) else []
        files.sort(key=lambda n: int(re.match(r"(\d+)", n).group(1)) if re.match(r"\d+", n) else 0)
        out = []
        for n in files:
            with open(os.path.join(d, n), "rb") as fh:
                msg = email.message_from_binary_file(fh, policy=email.policy.default)
            got = {"subject": safe(lambda: norm_words(str(msg["subject"] or "")), "")}
            sender = safe(lambda: msg["from"].addresses[0])
            name, addr = mailbox(unescape(sender.display_name), unescape(sender.addr_spec)) if sender else ("", "")
            got["sender"] = (name, addr.lower())
            shown = []
            for h in ("to", "cc"):
                for a in safe(lambda: msg[h].addresses, ()) or ():
                    name, addr = mailbox(unescape(a.display_name), unescape(a.addr_spec or ""))
                    shown += [name, addr.lower()]
            got["recipients"] = [s for s in shown if s]
            dt = safe(lambda: msg["date"].datetime)
            got["date"] = int(dt.timestamp()) if dt is not None and dt.tzinfo is not None else None
            got["message_id"] = safe(lambda: str(msg["message-id"]).strip() if msg["message-id"] else None)
            plain = safe(lambda: msg.get_body(preferencelist=("plain",)))
            html = safe(lambda: msg.get_body(preferencelist=("html",)))
            got["body_text"] = norm_text(safe(plain.get_content)) if plain is not None else None
            got["body_html"] = norm_text(safe(lambda: html.get_payload(decode=True))) if html is not None else None
            atts = []
            for part in msg.walk():
                if part.is_multipart() or part is plain or part is html:
                    continue
                if part.get_content_disposition() in ("attachment", "inline") or part.get_filename():
                    atts.append(sha(part.get_payload(decode=True) or b""))
            got["attachments"] = sorted(atts)
            out.append(got)
        return out
    finally:
        shutil.rmtree(tmp, ignore_errors=True)


# ---- Comparison

NOT_COMPARABLE = []


def undecodable(v):
    """The source's own bytes have no charset Python can name (8-bit headers or bodies in a legacy charset)."""
    if isinstance(v, str):
        return "\ufffd" in v
    if isinstance(v, (list, tuple)):
        return any(undecodable(x) for x in v)
    return False


def field_matches(field, want, got):
    """(counted, matched, note) for one field of one message."""
    if want is None or (field == "attachments" and not want and got is None):
        return False, False, ""
    if undecodable(want):
        return False, False, "undecodable"
    if got is None:
        return False, False, ""
    if field == "subject":
        if want != got and (want[1:] == got or (got[:1] == "\ufffd" and want[1:] == got[1:])):
            return True, True, QUIRK_FIRST_CHARACTER
        return True, want == got, ""
    if field == "sender":
        name, addr = want
        gname, gaddr = got
        ok = (gaddr and gaddr == addr) or (gname and gname in (name, addr)) or (not gname and not gaddr and not name and not addr)
        return True, bool(ok), ""
    if field == "recipients":
        shown = set(got)
        missing = [n or a for n, a in want if not ((n and n in shown) or (a and (a in shown or a in {s.lower() for s in shown})))]
        return True, not missing, ("missing " + ", ".join(missing)) if missing else ""
    if field == "date":
        return True, abs(want - got) <= 1, ""
    if field == "message_id":
        return True, want == got, ""
    if field in ("body_text", "body_html"):
        if field == "body_html":
            return True, want == got, ""
        # Plain text: the stored body is the source's text; a reader may add nothing but line-end changes.
        return True, norm_words(want) == norm_words(got), ""
    if field == "attachments":
        return True, sorted(want) == sorted(got), "%d expected, %d read" % (len(want), len(got))
    if field == "embedded":
        return (want > 0 or got > 0), want == got, ""
    return False, False, ""


# Reader behaviour that is not ours: counted as a match, listed apart.
QUIRK_FIRST_CHARACTER = ("pffexport drops or garbles the first character of some subjects that begin with a "
                         "non-ASCII character (pypff and readpst read the stored subject whole)")
QUIRKS = {QUIRK_FIRST_CHARACTER}


def show(v):
    s = repr(v)
    return s if len(s) < 120 else s[:117] + "..."


def main(argv):
    args = argv[1:]
    require = []
    while "--require" in args:
        i = args.index("--require")
        require.append(args[i + 1])
        del args[i:i + 2]
    if len(args) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    manifest_path, pst = args
    if not shutil.which("pffexport") or not shutil.which("readpst") or safe(lambda: __import__("pypff")) is None:
        print("independent readers not installed (pff-tools, pst-utils, python3-pypff)")
        return 77
    with open(manifest_path) as fh:
        manifest = json.load(fh)
    sources = []
    for p in manifest["files"]:
        try:
            sources.append(source_facts(p))
        except Exception as e:  # Python cannot read the source at all: nothing to compare it with
            sources.append({"file": os.path.basename(p), "error": repr(e)})
    readers = {"pypff": read_pypff, "pffexport": read_pffexport, "readpst": read_readpst}
    totals = {}
    diffs = list(strict_read(pst) or [])
    quirks = []
    meetings = []  # per message: pypff reads a meeting request (pypff is read first)
    for rname in READERS:
        try:
            seen = readers[rname](pst, manifest["folder"])
        except Exception as e:
            diffs.append("%s could not read the file: %s" % (rname, e))
            seen = []
        if rname == "pypff":
            PYPFF_FLAGS[:] = [m.get("flags") for m in seen]
            meetings = [(m.get("class") or "").startswith("IPM.Schedule.Meeting.") for m in seen]
        else:
            PFF_FLAGS[rname] = [m.get("flags") for m in seen]
        if len(seen) != len(sources):
            diffs.append("%s lists %d messages, %d were saved" % (rname, len(seen), len(sources)))
        for i, src in enumerate(sources):
            got = seen[i] if i < len(seen) and len(seen) == len(sources) else {}
            meeting = i < len(meetings) and meetings[i]
            for field in FIELDS:
                want = src.get(field)
                if "error" in src:
                    continue
                if meeting and field == "attachments" and want is not None and src.get("calendar") in want:
                    want = sorted(want)
                    want.remove(src["calendar"])
                if meeting and (rname, field) in (("pffexport", "recipients"), ("pffexport", "attachments"),
                                                  ("readpst", "attachments")):
                    continue
                if not got:
                    counted, ok, note = (want is not None), False, "message not read"
                else:
                    counted, ok, note = field_matches(field, want, got.get(field))
                    if note == "undecodable" and rname == "pypff":
                        NOT_COMPARABLE.append("%s %s" % (src["file"], field))
                if not counted:
                    continue
                t = totals.setdefault((rname, field), [0, 0])
                t[0] += 1
                t[1] += 1 if ok else 0
                if ok and note in QUIRKS:
                    quirks.append("%s %s %s: %s" % (rname, src["file"], field, note))
                if not ok:
                    diffs.append("%s %s %s: want %s, read %s %s" % (
                        rname, src["file"], field, show(want), show(got.get(field) if got else None), note))
    print("field match shares (matched/compared) per reader:")
    for field in FIELDS:
        cells = []
        for rname in READERS:
            m = totals.get((rname, field))
            cells.append("%s %s" % (rname, "%d/%d" % (m[1], m[0]) if m else "-"))
        print("  %-12s %s" % (field, "  ".join(cells)))
    all_m = sum(v[1] for v in totals.values())
    all_n = sum(v[0] for v in totals.values())
    print("  overall      %d/%d = %.4f" % (all_m, all_n, all_m / all_n if all_n else 1.0))
    if "content" in COUNTS:
        flags = None
        print("folder counts (pypff): content %s, unread %s" % (COUNTS.get("content"), COUNTS.get("unread")))
        if COUNTS.get("content") != len(sources):
            diffs.append("folder content count %s, %d messages saved" % (COUNTS.get("content"), len(sources)))
        if "unread" in manifest and COUNTS.get("unread") != manifest["unread"]:
            diffs.append("folder unread count %s, %d saved unread" % (COUNTS.get("unread"), manifest["unread"]))
        if PYPFF_FLAGS and "unread" in manifest:
            flags = sum(1 for x in PYPFF_FLAGS if x is not None and not x & 1)
            if flags != manifest["unread"]:
                diffs.append("%d messages read without MSGFLAG_READ, %d saved unread" % (flags, manifest["unread"]))
    for rname in ("pffexport",):
        if PFF_FLAGS.get(rname) and "unread" in manifest:
            n = sum(1 for x in PFF_FLAGS[rname] if x is not None and not x & 1)
            if n != manifest["unread"]:
                diffs.append("%d messages read by %s without MSGFLAG_READ, %d saved unread" % (n, rname, manifest["unread"]))
    if NOT_COMPARABLE:
        print("not compared: the source has 8-bit text without a charset Python can decode (%d): %s" % (
            len(NOT_COMPARABLE), ", ".join(NOT_COMPARABLE[:30])))
    if quirks:
        print("reader quirks, counted as matches (%d):" % len(quirks))
        for q in quirks[:50]:
            print("  " + q)
    if diffs:
        diffs.sort(key=lambda d: 0 if ("could not read" in d or " lists " in d or d.startswith(("folder ", "pstsdk")))
                   else 1)
        print("differences (%d):" % len(diffs))
        for d in diffs[:400]:
            print("  " + d)
    failed = False
    for req in require:
        key, _, share = req.partition("=")
        share = float(share)
        if key == "overall" and all_n and all_m / all_n < share:
            print("below %s: overall %d/%d" % (req, all_m, all_n))
            failed = True
        for (rname, field), (n, m) in totals.items():
            if key in ("all", field, rname + "." + field) and n and m / n < share:
                print("below %s: %s.%s %d/%d" % (req, rname, field, m, n))
                failed = True
    if any("could not read" in d or " lists " in d or d.startswith("folder ") or "without MSGFLAG_READ" in d
           or d.startswith("pstsdk-read") for d in diffs):
        failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
