#!/usr/bin/python3
"""Writes an eM Client-style export tree of made-up mailboxes for the end-to-end tests.

Usage: make_export.py TARGET_FOLDER

Every message is generated here (Python's email package); nothing is copied from elsewhere. The tree covers
what the folder rules care about: Inbox and Sent (mapped to the default folders), nested folders, special folder
names at the top and deeper, "!" in names, Unicode names, a file that is not .eml, an upper-case .EML, a message
directly in the mailbox folder, and a mailbox without files.
"""
import email.message
import email.utils
import os
import sys

COUNTER = [0]


def message(subject, frm="Alice Example <alice@example.com>", to="Bob Example <bob@example.org>", html=False,
            attachment=None):
    COUNTER[0] += 1
    n = COUNTER[0]
    m = email.message.EmailMessage()
    m["From"] = frm
    m["To"] = to
    m["Subject"] = subject
    m["Date"] = email.utils.format_datetime(
        email.utils.localtime().replace(year=2024, month=1 + n % 12, day=1 + n % 28, microsecond=0))
    m["Message-ID"] = "<gen-%d@velmora.test>" % n
    m.set_content("Body of message %d: %s\n" % (n, subject))
    if html:
        m.add_alternative("<html><body><p>Body of message %d: <b>%s</b></p></body></html>" % (n, subject),
                          subtype="html")
    if attachment:
        name, data = attachment
        m.add_attachment(data, maintype="application", subtype="octet-stream", filename=name)
    return m.as_bytes()


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as fh:
        fh.write(data)


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    top = sys.argv[1]
    a = os.path.join(top, "alice@example.com")
    write(os.path.join(a, "Inbox", "Welcome.eml"), message("Welcome"))
    write(os.path.join(a, "Inbox", "Report.eml"), message("Report", html=True, attachment=("r.bin", b"\x00" * 5000)))
    write(os.path.join(a, "Inbox", "SHOUT.EML"), message("Upper-case extension"))
    write(os.path.join(a, "Inbox", "Projects", "Plan.eml"), message("Project plan"))
    write(os.path.join(a, "Inbox", "Tasks", "Todo.eml"), message("Todo below Inbox"))
    write(os.path.join(a, "Sent", "Reply.eml"), message("Re: Welcome", frm="Bob Example <bob@example.org>"))
    write(os.path.join(a, "Sent", "Old", "Older.eml"), message("Older sent"))
    write(os.path.join(a, "Calendar", "Invite.eml"), message("Meeting invitation"))
    write(os.path.join(a, "Notebook", "Page.eml"), message("Notebook page"))
    write(os.path.join(a, "Archive", "2019.eml"), message("Archived"))
    write(os.path.join(a, "Archive", "Sent", "Copy.eml"), message("Archived sent copy"))
    write(os.path.join(a, "Receipts ☕ Пошта", "Receipt.eml"), message("Квитанция ☕"))
    write(os.path.join(a, "Old!2019", "Bang.eml"), message("In a bang folder"))
    write(os.path.join(a, "notes.txt"), b"not a message\n")
    write(os.path.join(a, "Loose.eml"), message("Directly in the mailbox folder"))
    os.makedirs(os.path.join(top, "bob@example.org", "Inbox"), exist_ok=True)
    os.makedirs(os.path.join(top, "bob@example.org", "Sent"), exist_ok=True)
    write(os.path.join(top, "carol", "Inbox", "Hello.eml"), message("Hello Carol", to="carol@example.net"))
    return 0


if __name__ == "__main__":
    sys.exit(main())
