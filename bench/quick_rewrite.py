#!/usr/bin/env python3
"""A quick per-line rewrite of an address-book LDIF: a yardstick for quorvane-fix, not a repair.

It does a fraction of the work: lines are trimmed, DN commas escaped and the base DN appended,
booleans upper-cased, empty values dropped, and every line written with CR LF. No Base64, no
folding, no uniqueness, no profile. Usage: quick_rewrite.py BOOK.ldif > OUT.ldif
"""
import sys

BASE = "dc=contacts,dc=example,dc=com"


def rewrite(line):
    line = line.strip()
    if not line:
        return ""
    name, sep, value = line.partition(":")
    if not sep:
        return None
    value = value.strip()
    if not value:
        return None
    if name == "dn":
        return "dn: " + value.replace(",", "\\,") + "," + BASE
    lowered = value.lower()
    if lowered in ("true", "false"):
        value = value.upper()
    return name + ": " + value


def main():
    out = sys.stdout.buffer
    with open(sys.argv[1], "rb") as book:
        for raw in book:
            line = rewrite(raw.decode("latin-1"))
            if line is not None:
                out.write(line.encode("latin-1") + b"\r\n")


if __name__ == "__main__":
    main()
