#!/usr/bin/python3
"""Parses one received message with Python's own e-mail package and prints what a mail
reader would show, as one JSON object: subject (decoded), from_name, from_addr, to (the
addresses of the To line), date (seconds since 1970 UTC, or null when it does not parse),
date_text, content_type and body (decoded with the charset the header names), and for a
multipart message its parts, each with content_type, filename and body (decoded from its
transfer encoding, read as UTF-8).
"""
import email
import email.policy
import email.utils
import json
import sys

with open(sys.argv[1], "rb") as f:
    msg = email.message_from_binary_file(f, policy=email.policy.default)

from_name, from_addr = email.utils.parseaddr(str(msg["From"]))
try:
    date = email.utils.parsedate_to_datetime(str(msg["Date"])).timestamp()
except (TypeError, ValueError):
    date = None
payload = msg.get_payload(decode=True) or b""
charset = msg.get_content_charset() or "utf-8"
parts = []
if msg.is_multipart():
    for part in msg.iter_parts():
        parts.append({
            "content_type": part.get_content_type(),
            "filename": part.get_filename(),
            "body": (part.get_payload(decode=True) or b"").decode("utf-8", "replace"),
        })
print(json.dumps({
    "subject": str(msg["Subject"]),
    "from_name": from_name,
    "from_addr": from_addr,
    "to": [addr for _, addr in email.utils.getaddresses([str(v) for v in msg.get_all("To", [])])],
    "date": date,
    "date_text": str(msg["Date"]),
    "content_type": msg.get_content_type(),
    "body": payload.decode(charset, "replace"),
    "parts": parts,
}))
