#!/usr/bin/env python3
"""Facts about .eml files as Python's own email package reads them, one JSON object per line.

This is the independent reading the mime importer is compared with: it shares no code with GMime.
Usage: eml_facts.py FILE...   (stdlib only)

Fields: file, subject, from [name, addr], to/cc/bcc [[name, addr], ...], date (Unix seconds), message_id,
text (the text/plain body), html_sha256 (of the decoded text/html body bytes), attachments
[{name, type, sha256}], embedded [subject, ...], error (when Python could not read the file at all).
Hashes are taken with CRLF turned into LF: Python's parser hands out the unencoded parts of a CRLF file
with LF line ends, so only the line-end-neutral form can be compared.
"""
import email
import email.policy
import hashlib
import json
import os
import sys

# Where Python's parse is not what a mail user sees, the reading follows mail programs and Outlook; the
# rules are shared with the comparison through the independent PST readers.
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "messages"))
from compare_messages import (as_mail_programs_write, comment_name, first_text_rule, mailbox,  # noqa: E402
                              related_root, take_uuencoded)


def lf_sha256(data):
    return hashlib.sha256(data.replace(b"\r\n", b"\n")).hexdigest()


def safe(fn, default=None):
    try:
        return fn()
    except Exception:  # a malformed header makes the policy raise; the fact is then unknown
        return default


def addresses(msg, name):
    header = safe(lambda: msg[name])
    if header is None:
        return None
    raw = " ".join(str(v) for k, v in msg.raw_items() if k.lower() == name)
    out = []
    for a in safe(lambda: header.addresses, ()) or ():
        out.append(list(mailbox(a.display_name or comment_name(raw, a.addr_spec), a.addr_spec or "")))
    return out


def text_of(part):
    content = safe(part.get_content)
    if isinstance(content, str):
        return content
    payload = part.get_payload(decode=True) or b""
    return payload.decode("latin-1")


def leaves(part, body_parts, out, embedded, depth=0):
    if depth > 60:
        return
    ctype = part.get_content_type()
    if ctype in ("message/rfc822", "message/global"):
        inner = part.get_payload()
        inner = inner[0] if isinstance(inner, list) and inner else inner
        embedded.append(safe(lambda: str(inner["subject"] or ""), "") if inner is not None else "")
        return
    if part.is_multipart():
        alternative = ctype == "multipart/alternative"
        for child in part.get_payload():
            if alternative and child.get_content_type() in ("text/plain", "text/html", "text/enriched", "text/richtext") and \
                    child.get_content_disposition() != "attachment":
                continue  # an alternative rendering of the body, not an attachment
            leaves(child, body_parts, out, embedded, depth + 1)
        return
    if any(part is b for b in body_parts):
        return
    data = part.get_payload(decode=True) or b""
    if not part.keys() and not data.strip():
        return  # an empty part after a stray delimiter line: nothing a mail program shows
    out.append({"name": safe(part.get_filename), "type": ctype, "sha256": lf_sha256(data)})


def facts(path):
    with open(path, "rb") as f:
        msg = email.message_from_bytes(as_mail_programs_write(f.read()), policy=email.policy.default)
    result = {"file": path}
    result["subject"] = safe(lambda: None if msg["subject"] is None else str(msg["subject"]))
    sender = addresses(msg, "from")
    result["from"] = sender[0] if sender else None
    for name in ("to", "cc", "bcc"):
        result[name] = addresses(msg, name) or []
    date = safe(lambda: msg["date"].datetime)
    result["date"] = safe(lambda: int(date.timestamp())) if date is not None else None
    result["message_id"] = safe(lambda: None if msg["message-id"] is None else str(msg["message-id"]).strip())
    plain = safe(lambda: msg.get_body(preferencelist=("plain",)))
    html = safe(lambda: msg.get_body(preferencelist=("html",)))
    if plain is not None and plain.get_content_type() != "text/plain":
        plain = None
    if html is not None and html.get_content_type() != "text/html":
        html = None
    plain, html = related_root(msg, plain, html)
    plain, html = first_text_rule(msg, plain, html)
    text = text_of(plain) if plain is not None else None
    uuencoded = []
    if text is not None:
        text, uuencoded = take_uuencoded(text)
    result["text"] = text
    result["html_sha256"] = lf_sha256(html.get_payload(decode=True) or b"") if html is not None else None
    attachments, embedded = [], []
    leaves(msg, [p for p in (plain, html) if p is not None], attachments, embedded)
    attachments += [{"name": n, "type": "application/octet-stream", "sha256": lf_sha256(d)} for n, d in uuencoded]
    result["attachments"] = attachments
    result["embedded"] = embedded
    return result


def main(paths):
    for path in paths:
        try:
            # Header bytes that are not UTF-8 come back as lone surrogates: written as U+FFFD, so the line
            # stays valid UTF-8 and valid JSON.
            line = json.dumps(facts(path), ensure_ascii=False)
            print(line.encode("utf-8", "surrogateescape").decode("utf-8", "replace"))
        except Exception as e:  # still one line per file, so the caller can pair them up
            print(json.dumps({"file": path, "error": repr(e)}))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
