"""What a mail user sees in each message of this folder, once stored: the fields expect_messages.py checks
through the independent readers. Fields left out are not checked."""
import calendar
import hashlib


def topic_id(topic):
    """The conversation ID Outlook computes from a topic: MD5 of its upper-cased UTF-16LE form."""
    return hashlib.md5(topic.upper().encode("utf-16-le")).digest()


RECEIVED = calendar.timegm((2024, 1, 2, 10, 0, 7))  # the Received stamp of the envelope-date-* files

EXPECTED = {
    # Header blocks that end without an empty line, or hide behind a byte-order mark.
    "blocks-no-headers.eml": {"body_text": "Just some text\nwith two lines."},
    "blocks-blank-separator.eml": {"subject": "blank separator", "sender": ("Ann", "ann@example.org"),
                                   "body_text": "The body text."},
    "blocks-part-content-after-headers.eml": {"body_text": "Hello from the first part.",
                                              "attachments": [b"attachment bytes 0123456789\n" * 3]},
    "blocks-byte-order-mark.eml": {"subject": "byte order mark", "sender": ("Bom Sender", "bom@example.org"),
                                   "body_text": "body after a BOM"},
    "blocks-long-boundary.eml": {"body_text": "long boundary body", "attachments": [b"xyz"]},
    "blocks-multipart-without-boundary.eml": {
        "body_text": "Your message could not be delivered to carl@example.org.", "attachments": []},
    "blocks-folded-over-blank-line.eml": {"subject": "Quarterly report for the north region",
                                          "message_id": "<fws-1@example.org>",
                                          "date": calendar.timegm((2024, 1, 2, 9, 0, 0)),
                                          "body_text": "Figures attached."},
    "blocks-header-name-with-blank.eml": {"subject": "name with a blank", "sender": ("Ann", "ann@example.org"),
                                          "recipients": [("Bob", "bob@example.org")],
                                          "message_id": "<blank-name@example.org>",
                                          "body_text": "The body after a bad header name."},
    "blocks-headerless-attached-message.eml": {"body_text": "Your message could not be delivered.",
                                               "embedded_bodies": ["[original message goes here]"]},
    # Text whose charset is mislabelled, undeclared, or carries NULs.
    "text-utf16-unknown-label.eml": {"body_text": "Hello there.\nWorld"},
    "text-stray-nul.eml": {"body_text": "BeforeAfter"},
    "text-cr-line-ends.eml": {"subject": "old Mac line ends", "message_id": "<cr-only@example.org>",
                              "body_text": "First line.\nSecond line."},
    "text-utf16-file-with-mark.eml": {"subject": "saved as UTF-16 \u2713", "message_id": "<utf16@example.org>",
                                      "body_text": "Unicode text: \u00fcn\u00efc\u00f6d\u00e9 \u2713"},
    "text-utf16-file-big-endian.eml": {"subject": "saved as UTF-16 \u2713", "message_id": "<utf16@example.org>",
                                       "body_text": "Unicode text: \u00fcn\u00efc\u00f6d\u00e9 \u2713"},
    # Windows' ISO-2022-JP: NEC row 13 and the IBM extension rows.
    "text-iso2022jp-windows-rows.eml": {"subject": "\u4f1a\u8b70\u2460 agenda",
                                        "body_text": "\u4f1a\u8b70\u2460\u2116 agenda \u7e8a"},
    "text-html-entities.eml": {"body_text": "S\u00f8ren \u00e5 \u00c6 \u0161 \u2665"},
    # Dates that are no dates fall back to the newest Received; the mailbox's own address among To / Cc.
    "envelope-date-1970.eml": {"date": RECEIVED},
    "envelope-date-before-1601.eml": {"date": RECEIVED},
    "envelope-date-unreadable.eml": {"date": RECEIVED},
    "envelope-to-me.eml": {"props": {0x0057: True, 0x0058: False, 0x3013: topic_id("Budget")}},
    "envelope-cc-me.eml": {"props": {0x0057: False, 0x0058: True, 0x3013: topic_id("Budget")}},
    "text-8bit-in-encoded-word.eml": {"subject": "Grüße", "recipients": [("Jürgen", "j@example.org")]},
    "text-undeclared-koi8r-headers.eml": {"subject": "Привет мир",
                                          "sender": ("Иван Петров", "ivan@example.org"),
                                          "body_text": "Текст письма"},
    # Mailboxes that GMime's reading alone loses or misreads.
    "mailbox-no-angle-brackets.eml": {"sender": ("Jane Doe", "jane@example.org"),
                                      "recipients": [("Bob Roe", "bob@example.org"),
                                                     ("Carl", "carl@example.org")]},
    "mailbox-nul-in-name.eml": {"sender": ("AB", "a@example.com")},
    "mailbox-unbalanced-paren.eml": {"recipients": [("Paren", "p@example.org"), ("Q", "q@example.org")]},
    # Parts: uuencoded data and the root of multipart/related.
    "parts-uuencode-stripped-blanks.eml": {"body_text": "see the file",
                                           "attachments": [b"A" * 42 + b"\0" * 3 + b"B" * 45 + b"tail"]},
    "parts-related-image-first.eml": {"body_html": "<p>Hello with a picture</p>",
                                      "attachments": [b"\x89PNG not really an image"]},
    "parts-uuencode-in-text.eml": {"body_text": "See the attached note.\nRegards",
                                   "attachments": [b"inner file content\n"]},
}
