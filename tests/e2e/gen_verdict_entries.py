#!/usr/bin/env python3
"""Writes an address-book export whose records break the directory's schema in every common way.

Usage: gen_verdict_entries.py [--records N] [--seed S] [--output FILE]

The same seed gives the same bytes. Most records are contacts as address books write them
(dn: cn=NAME,mail=ADDRESS); each carries a random mix of
  - attributes the stock schema defines and the record's classes allow, with good values;
  - attributes no stock schema defines (customNN, xmainTelephoneNumber, website, mozilla*, ...);
  - names that are no attribute description at all ("AOL ICQ", "Tel. (work)", "e_mail");
  - defined attributes a person may not hold (dnQualifier, email, c, uniqueIdentifier, gecos, ...);
  - attribute options the directory refuses (mail;binary, cn;x-phonetic);
  - unknown and misspelled object classes (inetOrdPerson, mozillaAddressBookEntry, ...);
  - values outside their syntax: telephone numbers with <>#*; or non-ASCII, mail addresses with
    a non-ASCII domain or local part, postal addresses holding a backslash or an empty line,
    country names where a two-letter code belongs, integers and booleans that are not;
  - a second value of a single-value attribute (displayName, preferredLanguage);
  - names in Latin-1 bytes, as they are and in Base64, in cn, sn, the DN and member DNs;
  - operational attributes with good and malformed values (createTimestamp: 200705200000z).
Some records are of other kinds: posixAccount contacts (integer uidNumber/gidNumber), entries
with extensibleObject (a country or boolean value the entry may hold but written wrongly), a
country entry, organizations, units, devices, and groups (one without members). Every record
has a name of its own (its cn carries the record's number); only DNs named by an attribute a
person cannot keep (c=DE) occur more than once, as they do in real exports.
"""

import argparse
import base64
import random
import sys

FIRST = ["Anna", "Jürgen", "Åsa", "Noël", "Chloé", "Iñaki", "Zoë", "Søren", "Björn", "Renée",
         "Olu", "Mei", "Rafael", "Grace", "Tomasz", "Priya", "Hiroshi", "Ada", "Ines", "Luca"]
LAST = ["Weiß", "Müller", "Lindqvist", "Lefèvre", "Dupré", "Etxeberria", "Højgaard", "Groß",
        "Brenner", "Ortega", "Mwangi", "Nowak", "Raman", "Tanaka", "Okafor", "Achterberg",
        "Ong", "Lovelace", "Caña", "Þórsson"]
CITIES = ["Berlin", "München", "Zürich", "Malmö", "Lyon", "São Paulo", "Oslo", "Kraków"]
DOMAINS = ["example.org", "example.com", "example.net"]
IDN_DOMAINS = ["bücher.example", "müller.example", "çà.example"]

UNDEFINED = ["custom1", "custom4", "custom12", "custom27", "xmainTelephoneNumber",
             "xotherTelephoneNumber", "website", "xprivate", "mailAlternateAddress",
             "mozillaSecondEmail", "nsAIMid", "fileAs", "birthyear", "vcardcategories",
             "xmozillausehtmlmail", "mozillaCustom3", "xhbbdbPhoneLoc", "1.2.3.4.5"]
NOT_NAMES = ["AOL ICQ", "Tel. (work)", "e_mail", "2ndPhone", "Home Phone", "phone#2", "-x"]
DISALLOWED = [("dnQualifier", "J-Pilot"), ("email", "alias@example.org"), ("c", "DE"),
              ("uniqueIdentifier", "0x00012A"), ("info", "met at a fair"),
              ("co", "Germany"), ("drink", "tea"), ("gecos", "Some One"),
              ("loginShell", "/bin/sh"), ("host", "pc17.example.org"),
              ("friendlyCountryName", "Deutschland"), ("associatedDomain", "example.org")]
BAD_OPTIONS = [("mail;binary", "x@example.org"), ("cn;x-phonetic", "Ann"),
               ("telephoneNumber;type=work", "+1 555 0100")]
UNKNOWN_CLASSES = ["inetOrdPerson", "mozillaAddressBookEntry", "mozillaAbPersonAlpha",
                   "evolutionPerson", "organisationalPerson", "inetorgpersons", "calEntry",
                   "abookEntry"]
BAD_PHONES = ["<9876543210>", "*21#0800 555 0100", "555;0100", "+49 30 555 0100 ☎",
              "+1 555 0100 #12", "0171/555\\0100"]
GOOD_PHONES = ["+49 30 555 0100", "+44 20 7946 0123", "(0)30 555-0101", "+1 212 555 0199"]
BAD_POSTAL = ["Hauptstr. 5\\Hinterhaus$10115 Berlin", "Am Hang 3$$81377 München",
              "C:\\Users\\post$Somewhere", "Line one$"]
OPERATIONAL = [("createTimestamp", "200705200000z"), ("createTimestamp", "20070520101500Z"),
               ("modifyTimestamp", "20090101120000Z"), ("modifyTimestamp", "0Z"),
               ("creatorsName", "cn=admin,dc=example,dc=com"),
               ("entryUUID", "3f1c2d7e-8b10-4b7e-9a44-5c3e9a1f0d2b"),
               ("structuralObjectClass", "inetOrgPerson"),
               ("entryCSN", "20090101120000.000000Z#000000#000#000000"),
               ("subschemaSubentry", "cn=Subschema"), ("hasSubordinates", "FALSE")]


def safe_plain(value: bytes) -> bool:
    if not value:
        return True
    if value[0] in b" :<" or value[-1:] == b" ":
        return False
    return all(32 <= b < 127 for b in value)


def line(name: str, value, form: str = "auto") -> bytes:
    """One LDIF line. `value` is str (written as UTF-8) or bytes (written as they are).
    form: "auto" plain when safe else Base64, "raw" always plain (bytes as they are),
    "b64" always Base64."""
    data = value.encode("utf-8") if isinstance(value, str) else value
    if form == "b64" or (form == "auto" and not safe_plain(data)):
        return name.encode() + b":: " + base64.b64encode(data) + b"\n"
    return name.encode() + b": " + data + b"\n"


class Book:
    def __init__(self, rng: random.Random):
        self.rng = rng
        self.people = []  # (dn text as written, latin1 flag) for group members
        self.country_codes = iter(["FR", "NL", "SE", "NO", "ES", "IT", "PL", "JP", "BR",
                                   "KE", "IN", "NG", "CA", "AU", "AT", "CH", "DK", "FI", "IE"])

    def name(self, i: int):
        r = self.rng
        return r.choice(FIRST), r.choice(LAST) + f" {i}"

    def text(self, s: str, latin1: str):
        """The bytes of `s` in UTF-8, or in Latin-1 when latin1 is "raw" or "b64"."""
        if latin1 in ("raw", "b64"):
            try:
                return s.encode("latin-1")
            except UnicodeEncodeError:
                return s.encode("utf-8")
        return s.encode("utf-8")

    def person(self, i: int) -> bytes:
        r = self.rng
        first, last = self.name(i)
        cn = f"{first} {last}"
        local = f"p{i}.{r.choice(['a', 'b', 'c'])}"
        mail = f"{local}@{r.choice(DOMAINS)}"
        latin1 = r.choices(["utf8", "raw", "b64"], [6, 3, 2])[0]
        form = {"utf8": "auto", "raw": "raw", "b64": "b64"}[latin1]
        out = []
        # Some exporters write a private line before the DN (an Emacs address book does).
        if r.random() < 0.08:
            out.append(line("xmozillausehtmlmail", "FALSE"))
        dn_kind = r.random()
        if dn_kind < 0.06:
            # The DN is named by an attribute the record cannot keep.
            attr, value = r.choice([("website", f"http://p{i}.example.org/"),
                                    ("xmainTelephoneNumber", f"+49 30 555 {i:04d}"),
                                    ("c", "DE"), ("email", f"p{i}@example.org")])
            out.append(b"dn: " + f"{attr}={value}".encode() + b"\n")
        elif dn_kind < 0.12:
            out.append(b"dn: " + self.text(f"cn={cn}", latin1) + b"\n")
        else:
            dn = self.text(f"cn={cn},mail={mail}", latin1)
            out.append(line("dn", dn, "b64" if latin1 == "b64" else "raw"))
        self.people.append((f"cn={cn},mail={mail}", latin1))
        classes = ["top", "person"]
        roll = r.random()
        if roll < 0.5:
            classes += ["organizationalPerson", "inetOrgPerson"]
        elif roll < 0.65:
            classes += [r.choice(UNKNOWN_CLASSES)]
        elif roll < 0.8:
            classes += ["inetOrgPerson", r.choice(UNKNOWN_CLASSES)]
        elif roll < 0.9:
            classes = [r.choice(UNKNOWN_CLASSES)]
        # else: top and person only, the Netscape way
        for c in classes:
            out.append(line("objectclass", c))
        out.append(line("cn", self.text(cn, latin1), form))
        if r.random() < 0.85:
            out.append(line("sn", self.text(last, latin1), form))
        out.append(line("givenName", self.text(first, latin1), form))
        out.append(line("mail", mail))
        # Good values of defined attributes.
        if r.random() < 0.7:
            out.append(line("telephoneNumber", r.choice(GOOD_PHONES)))
        if r.random() < 0.3:
            out.append(line("l", r.choice(CITIES)))
        if r.random() < 0.3:
            out.append(line("postalAddress", f"Street {i}$12345 {r.choice(CITIES)}"))
        if r.random() < 0.2:
            out.append(line("description", "met at the fair; owes me lunch"))
        if r.random() < 0.2:
            out.append(line("labeledURI", f"http://p{i}.example.org/ Home"))
        if r.random() < 0.1:
            out.append(line("cn;lang-de", self.text(cn, "utf8")))
        # Troubles, a few per record.
        for _ in range(r.randint(1, 5)):
            kind = r.randrange(11)
            if kind == 0:
                out.append(line(r.choice(UNDEFINED), f"value {i}"))
            elif kind == 1:
                out.append(line(r.choice(NOT_NAMES), f"{r.randint(100000, 999999)}"))
            elif kind == 2:
                out.append(line(*r.choice(DISALLOWED)))
            elif kind == 3:
                out.append(line(*r.choice(BAD_OPTIONS)))
            elif kind == 4:
                out.append(line(r.choice(["mobile", "telephoneNumber", "homePhone", "pager",
                                          "facsimileTelephoneNumber"]), r.choice(BAD_PHONES)))
            elif kind == 5:
                if r.random() < 0.5:
                    out.append(line("mail", f"p{i}@{r.choice(IDN_DOMAINS)}"))
                else:
                    out.append(line("mail", f"jürgen.{i}@example.org"))
            elif kind == 6:
                out.append(line(r.choice(["postalAddress", "homePostalAddress"]),
                                r.choice(BAD_POSTAL)))
            elif kind == 7:
                out.append(line(*r.choice(OPERATIONAL)))
            elif kind == 8:
                out.append(line("displayName", f"{first} {i}"))
                out.append(line("displayName", f"{last}"))
            elif kind == 9:
                out.append(line("preferredLanguage", "de"))
                out.append(line("preferredLanguage", "en"))
            else:
                out.append(line("description", self.text(f"Notiz für {first}", latin1), form))
        return b"".join(out)

    def posix(self, i: int) -> bytes:
        r = self.rng
        first, last = self.name(i)
        uid = f"user{i}"
        good = r.random() < 0.4
        uidn = str(1000 + i) if good else r.choice(["10a0", "12 34", "-", "0x3E8", "one"])
        gidn = "100" if r.random() < 0.6 else r.choice(["staff", "1e3", "+"])
        return b"".join([
            line("dn", f"uid={uid}"),
            line("objectClass", "inetOrgPerson"),
            line("objectClass", r.choice(["posixAccount", "posixAcount"])),
            line("cn", f"{first} {last}"),
            line("sn", last),
            line("uid", uid),
            line("uidNumber", uidn),
            line("gidNumber", gidn),
            line("homeDirectory", f"/home/{uid}"),
            line("loginShell", "/bin/bash"),
            line("shadowLastChange", r.choice(["17000", "yesterday"])),
        ])

    def extensible(self, i: int) -> bytes:
        r = self.rng
        first, last = self.name(i)
        return b"".join([
            line("dn", f"cn={first} {last},mail=x{i}@example.org"),
            line("objectClass", "inetOrgPerson"),
            line("objectClass", "extensibleObject"),
            line("cn", f"{first} {last}"),
            line("sn", last),
            line("mail", f"x{i}@example.org"),
            line("c", r.choice(["DE", "Germany", "de", "D", "Deutschland"])),
            line("olcReadOnly", r.choice(["TRUE", "true", "yes", "1", "no"])),
            line("uidNumber", r.choice(["42", "forty-two"])),
        ])

    def country(self, i: int) -> bytes:
        r = self.rng
        code = next(self.country_codes, None)
        if code is None or r.random() < 0.3:
            name = r.choice(["Germany", "Österreich", "D"]) + f" {i}"
            return line("dn", f"c={name}") + line("objectClass", "country") + line("c", name)
        return line("dn", f"c={code}") + line("objectClass", "country") + line("c", code)

    def other(self, i: int) -> bytes:
        r = self.rng
        kind = r.randrange(3)
        if kind == 0:
            return b"".join([line("dn", f"o=Firma {i}"), line("objectClass", "organization"),
                             line("o", f"Firma {i}"), line("telephoneNumber", r.choice(BAD_PHONES)),
                             line("mail", f"office{i}@example.org"), line(r.choice(UNDEFINED), "x")])
        if kind == 1:
            return b"".join([line("dn", f"ou=Abteilung {i}"), line("objectClass", "organizationalUnit"),
                             line("ou", f"Abteilung {i}"), line("postalAddress", r.choice(BAD_POSTAL)),
                             line("c", "DE")])
        return b"".join([line("dn", f"cn=Drucker {i}"), line("objectClass", "device"),
                         line("cn", f"Drucker {i}"), line("serialNumber", f"SN-{i}"),
                         line("website", "http://printer.example.org/"), line("mail", "p@example.org")])

    def group(self, i: int) -> bytes:
        r = self.rng
        out = [line("dn", f"cn=Liste {i}"), line("objectclass", "top"),
               line("objectclass", r.choice(["groupOfNames", "groupOfNames", "groupOfName"])),
               line("cn", f"Liste {i}")]
        if self.people and r.random() < 0.9:
            for dn, latin1 in r.sample(self.people, min(len(self.people), r.randint(1, 4))):
                out.append(line("member", self.text(dn, latin1), "b64" if latin1 == "b64" else "raw"))
        out.append(line(r.choice(UNDEFINED), "list"))
        return b"".join(out)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--records", type=int, default=300)
    parser.add_argument("--seed", type=int, default=20261207)
    parser.add_argument("--output", default="-")
    args = parser.parse_args()
    rng = random.Random(args.seed)
    book = Book(rng)
    records = []
    for i in range(1, args.records + 1):
        roll = rng.random()
        if roll < 0.72:
            records.append(book.person(i))
        elif roll < 0.80:
            records.append(book.posix(i))
        elif roll < 0.85:
            records.append(book.extensible(i))
        elif roll < 0.89:
            records.append(book.country(i))
        elif roll < 0.94:
            records.append(book.other(i))
        else:
            records.append(book.group(i))
    data = b"version: 1\n\n" + b"\n".join(records) + b"\n"
    if args.output == "-":
        sys.stdout.buffer.write(data)
    else:
        with open(args.output, "wb") as f:
            f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
