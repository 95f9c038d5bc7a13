#!/usr/bin/python3
"""Parses a received message with Python's email package and prints what the tests check:
key=value lines for the headers and the one attachment, whose decoded bytes go to OUTFILE."""
import email
import email.policy
import sys


def main():
    with open(sys.argv[1], "rb") as f:
        message = email.message_from_binary_file(f, policy=email.policy.compat32)
    print("defects=%d" % len(message.defects))
    for key in ("From", "To", "Subject", "MIME-Version"):
        print("%s=%s" % (key, message.get(key, "")))
    print("content-type=%s" % message.get_content_type())
    print("boundary=%s" % message.get_boundary())
    parts = message.get_payload() if message.is_multipart() else []
    print("parts=%d" % len(parts))
    for part in parts:
        print("part-defects=%d" % len(part.defects))
        print("part-type=%s" % part.get_content_type())
        print("part-name=%s" % part.get_param("name"))
        print("part-encoding=%s" % part.get("Content-Transfer-Encoding", ""))
        with open(sys.argv[2], "wb") as f:
            f.write(part.get_payload(decode=True))


if __name__ == "__main__":
    main()
