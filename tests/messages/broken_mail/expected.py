"""What a mail user sees in each message of this folder, once stored: the fields expect_messages.py checks
through the independent readers. Fields left out are not checked."""

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
    "blocks-headerless-attached-message.eml": {"body_text": "Your message could not be delivered.",
                                               "embedded_bodies": ["[original message goes here]"]},
    # Text whose charset is mislabelled, undeclared, or carries NULs.
    "text-utf16-unknown-label.eml": {"body_text": "Hello there.\nWorld"},
    "text-stray-nul.eml": {"body_text": "BeforeAfter"},
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
