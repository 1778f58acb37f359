#!/usr/bin/python3
"""Keeps the records of an LDIF file that python-ldap can read and write back; drops the others.

bench/run.sh times python-ldap parsing a whole file and writing it back. python-ldap stops at
the first record it cannot take, and quorvane-fix's output of a generated book still holds a
few of those (Base64 that does not decode, left as it was; a record without a dn line), so the
timed file is that output less those records. Each record is tried alone, exactly as the whole
file will be read: LDIFRecordList on the record's bytes, then LDIFWriter on what it returned.
The records kept are copied byte for byte, so the file stays quorvane-fix's own output.

Usage: ldap_clean.py IN.ldif OUT.ldif   (IN may be "-" for standard input)
Prints "KEPT DROPPED" on standard output, and the first few reasons on standard error.
"""
import io
import sys

import ldif

SHOWN_REASONS = 5


def records(data):
    """Yields each record of data with the line end of its last line, empty lines left out.

    A record ends at an empty line, as python-ldap reads it: lines end at LF, and a CR before
    the LF belongs to the line end, so a line holding only CR is empty too. An empty line
    followed by a line that starts with a space is unfolded with it (RFC 2849 folding, as
    python-ldap applies it), so it does not end the record.
    """
    start = None
    pos = 0
    end = len(data)
    while pos < end:
        nl = data.find(b"\n", pos)
        nxt = end if nl < 0 else nl + 1
        line = data[pos:nxt].rstrip(b"\n")
        if line.endswith(b"\r"):
            line = line[:-1]
        if not line and data[nxt:nxt + 1] != b" ":
            if start is not None:
                yield data[start:pos]
                start = None
        elif start is None:
            start = pos
        pos = nxt
    if start is not None:
        yield data[start:end]


def refusal(record, first):
    """Returns why python-ldap cannot read and write record back alone, or None if it can.

    record ends with the empty line that will follow it in the file: python-ldap reads a record
    that ends the file without one differently (a record of one line is refused).
    """
    try:
        parser = ldif.LDIFRecordList(io.BytesIO(record))
        parser.parse()
        if len(parser.all_records) != 1:
            return "%d records where one was expected" % len(parser.all_records)
        # A version line is read only before the first record of a file.
        if parser.version is not None and not first:
            return "version line after the start of the file"
        writer = ldif.LDIFWriter(io.StringIO())
        for dn, entry in parser.all_records:
            writer.unparse(dn, entry)
    except Exception as error:  # python-ldap raises several kinds; every one is a refusal
        return "%s: %s" % (type(error).__name__, error)
    return None


def clean(data, out, log):
    """Writes the records of data that python-ldap takes to out; returns (kept, dropped)."""
    kept = dropped = 0
    for record in records(data):
        if not record.endswith(b"\n"):
            record += b"\n"
        record += b"\r\n" if record.endswith(b"\r\n") else b"\n"
        reason = refusal(record, kept == 0)
        if reason is not None:
            dropped += 1
            if dropped <= SHOWN_REASONS:
                first_line = record.split(b"\n", 1)[0].rstrip(b"\r")
                log.write("ldap_clean.py: dropped %r: %s\n" % (first_line[:80], reason[:200]))
            continue
        out.write(record)
        kept += 1
    return kept, dropped


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: ldap_clean.py IN.ldif OUT.ldif\n")
        return 2
    source, target = argv[1], argv[2]
    try:
        if source == "-":
            data = sys.stdin.buffer.read()
        else:
            with open(source, "rb") as f:
                data = f.read()
        with open(target, "wb") as out:
            kept, dropped = clean(data, out, sys.stderr)
    except OSError as error:
        sys.stderr.write("ldap_clean.py: %s: %s\n" % (error.filename, error.strerror))
        return 1
    print(kept, dropped)
    return 0 if kept > 0 else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
