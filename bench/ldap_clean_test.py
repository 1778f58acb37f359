#!/usr/bin/python3
"""Tests for ldap_clean.py: /usr/bin/python3 bench/ldap_clean_test.py (needs python3-ldap)."""
import io
import os
import sys
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import ldif  # noqa: E402

import ldap_clean  # noqa: E402


def round_trip(data):
    """Parses data as one file and writes it back, as bench/run.sh times it; returns the count."""
    parser = ldif.LDIFRecordList(io.BytesIO(data))
    parser.parse()
    writer = ldif.LDIFWriter(io.StringIO())
    for dn, entry in parser.all_records:
        writer.unparse(dn, entry)
    return len(parser.all_records)


class Clean(unittest.TestCase):
    # name, input, output, (kept, dropped)
    CASES = [
        ("CrLfRecordsKeptByteForByte",
         b"dn: cn=a\r\ncn: a\r\n\r\ndn: cn=b\r\ncn: b\r\n",
         b"dn: cn=a\r\ncn: a\r\n\r\ndn: cn=b\r\ncn: b\r\n\r\n", (2, 0)),
        ("NoLineEndAtEnd", b"dn: cn=a\ncn: a", b"dn: cn=a\ncn: a\n\n", (1, 0)),
        ("SeveralEmptyLinesBetweenRecords", b"dn: cn=a\n\n\r\n\ndn: cn=b\n",
         b"dn: cn=a\n\ndn: cn=b\n\n", (2, 0)),
        ("OneLineRecordAtEndOfFile", b"dn: cn=b\n", b"dn: cn=b\n\n", (1, 0)),
        ("UndecodableBase64", b"dn: cn=a\ncn:: QQ=\n\ndn: cn=b\ncn: b\n",
         b"dn: cn=b\ncn: b\n\n", (1, 1)),
        ("UndecodableBase64Dn", b"dn:: 249Tm9haA\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        ("RecordWithoutDn", b"cn: a\n\n\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        ("UnescapedCommaInDn", b"dn: cn=a,b\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        ("InvalidUtf8", b"dn: cn=\xff\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        # read, but the writer cannot take the value it was read as
        ("UrlValue", b"dn: cn=a\njpegPhoto:< file:///x\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        ("CommentsOnly", b"# nothing\n\ndn: cn=b\n", b"dn: cn=b\n\n", (1, 1)),
        # python-ldap unfolds a line that starts with a space into the empty line before it
        ("EmptyLineThenFoldedLine", b"dn: cn=a\ncn: a\n\n x: y\n\ndn: cn=b\n",
         b"dn: cn=a\ncn: a\n\n x: y\n\ndn: cn=b\n\n", (2, 0)),
        ("VersionLineFirst", b"version: 1\ndn: cn=a\n", b"version: 1\ndn: cn=a\n\n", (1, 0)),
        ("VersionLineLater", b"dn: cn=a\n\nversion: 1\ndn: cn=b\n", b"dn: cn=a\n\n", (1, 1)),
        ("NothingLeft", b"cn: a\n", b"", (0, 1)),
    ]

    def test_keeps_exactly_what_python_ldap_takes(self):
        for name, data, want, counts in self.CASES:
            with self.subTest(name):
                out = io.BytesIO()
                got = ldap_clean.clean(data, out, io.StringIO())
                self.assertEqual(out.getvalue(), want)
                self.assertEqual(got, counts)
                # what is kept must go through as one file, as it is timed
                self.assertEqual(round_trip(out.getvalue()), counts[0])

    def test_names_the_first_dropped_records(self):
        data = b"".join(b"cn: x%d\n\n" % i for i in range(10)) + b"dn: cn=b\n"
        log = io.StringIO()
        ldap_clean.clean(data, io.BytesIO(), log)
        lines = log.getvalue().splitlines()
        self.assertEqual(len(lines), ldap_clean.SHOWN_REASONS)
        self.assertIn("dropped b'cn: x0'", lines[0])
        self.assertIn('does not start with "dn:"', lines[0])


class Main(unittest.TestCase):
    def test_missing_input_is_named_and_fails(self):
        err = io.StringIO()
        stderr, sys.stderr = sys.stderr, err
        try:
            status = ldap_clean.main(["ldap_clean.py", "/nonexistent/in.ldif", os.devnull])
        finally:
            sys.stderr = stderr
        self.assertEqual(status, 1)
        self.assertIn("/nonexistent/in.ldif: No such file or directory", err.getvalue())


if __name__ == "__main__":
    unittest.main()
