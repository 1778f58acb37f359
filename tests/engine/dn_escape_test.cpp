// DN escaping rules, their order, and the helpers for base DNs and RDN values.
#include "engine/dn_escape.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane {
namespace {

TEST(DnEscape, AddressBookDnsBecomeValid) {
  const struct {
    const char* line;
    const char* escaped;
  } cases[] = {
      {"dn: cn=Doe, John,mail=ADDRESS", "dn: cn=Doe\\, John+mail=ADDRESS"},
      {"dn: cn=A+B, mail=ADDRESS", "dn: cn=A\\+B+mail=ADDRESS"},  // "+" escaped before mail
      {"dn: cn=X,mail=a,mail=b", "dn: cn=X+mail=a+mail=b"},
      {"dn: cn=X,  mail=Y", "dn: cn=X\\,  mail=Y"},  // two blanks: not the mail separator
      {"dn: cn=X,Mail=Y", "dn: cn=X\\,Mail=Y"},      // the separator is matched exactly
      {"dn: cn=Say \"Hi\"", "dn: cn=Say 'Hi'"},
      {"dn: cn=Tom & Jerry", "dn: cn=Tom \\26 Jerry"},
      {"dn: cn=a<b>c;d", "dn: cn=a\\<b\\>c\\;d"},
      {"dn: cn=~x", "dn: cn=\\7Ex"},
      {"dn: cn=Jos\xC3\xA9", "dn: cn=Jos\\C3\\A9"},  // the last byte too
      {"dn: cn=a=b", "dn: cn=a=b"},
      {"dn:cn=Joe", "dn: cn=Joe"},
      {"member:   cn=Joe ", "member: cn=Joe"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeDNLine(c.line), c.escaped) << c.line;
}

TEST(DnEscape, BackslashesAndLeadingHashAreLiteralText) {
  const struct {
    const char* value;
    const char* escaped;
  } cases[] = {
      {"cn=CORP\\jdoe", "cn=CORP\\5Cjdoe"},
      {"cn=Doe\\, John", "cn=Doe\\5C\\, John"},  // an escape in the source is text
      {"cn=#1 Pizza", "cn=\\231 Pizza"},
      {"cn=No #1", "cn=No #1"},
      {"cn=x,mail=#y", "cn=x+mail=\\23y"},
      {"cn=x=#y", "cn=x=#y"},  // only the "=" that ends the attribute type counts
      {"#cn=x", "#cn=x"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeDN(c.value), c.escaped) << c.value;
}

TEST(DnEscape, EveryByteIsEscapedWhereverItStands) {
  // Each byte value, alone in a long value at every distance from its start: block edges of
  // any scan must not change what a byte becomes.
  static const char kHex[] = "0123456789ABCDEF";
  auto escaped = [](unsigned char c) -> std::string {
    switch (c) {
      case '\\': return "\\5C";
      case '"': return "'";
      case '+': case '<': case '>': case ';': case ',': return std::string("\\") + char(c);
      default: break;
    }
    if (c == '&' || c == '~' || c < 0x20 || c >= 0x7F) {
      return std::string("\\") + kHex[c >> 4] + kHex[c & 15];
    }
    return std::string(1, char(c));  // "#" and "=" too: neither starts the value here
  };
  for (int c = 0; c < 256; ++c) {
    for (std::size_t before = 0; before < 140; before += (before < 70 ? 1 : 13)) {
      const std::string head = "cn=x" + std::string(before, 'a');
      const std::string tail(150 - before, 'b');
      const std::string value = head + char(c) + tail;
      ASSERT_EQ(EscapeDN(value), head + escaped(static_cast<unsigned char>(c)) + tail)
          << "byte " << c << " after " << before;
    }
  }
}

TEST(DnEscape, MailSeparatorAndLeadingHashAtAnyDistance) {
  for (std::size_t before = 0; before < 140; ++before) {
    const std::string name(before, 'a');
    EXPECT_EQ(EscapeDN("cn=" + name + ", mail=#m,x"), "cn=" + name + "+mail=\\23m\\,x") << before;
    EXPECT_EQ(EscapeDN("cn=" + name + ",mail=m"), "cn=" + name + "+mail=m") << before;
  }
}

TEST(DnEscape, ControlBytesBecomeHexPairs) {
  std::string value = "cn=";
  std::string expected = "cn=";
  static const char kHex[] = "0123456789ABCDEF";
  for (int c = 0; c < 0x20; ++c) {
    value.push_back(static_cast<char>(c));
    expected += std::string("\\") + kHex[c >> 4] + kHex[c & 15];
  }
  value += "\x7F\x80\xFF";
  expected += "\\7F\\80\\FF";
  EXPECT_EQ(EscapeDN(value), expected);
  EXPECT_EQ(EscapeDNChars(std::string("a\r\nb&", 5)), "a\\0D\\0Ab\\26");
  EXPECT_EQ(EscapeDNChars("a,b+c\\"), "a,b+c\\");
}

TEST(DnEscape, BaseSuffixIsFoundAfterAComma) {
  const struct {
    const char* dn;
    const char* base;
    std::size_t comma;
  } cases[] = {
      {"cn=X,dc=a,dc=b", "dc=a,dc=b", 4},
      {"cn=X, dc=a,dc=b", "dc=a,dc=b", 4},
      {"cn=X,  DC=A,dc=B", "dc=a,dc=b", 4},
      {"cn=X,mail=y,o=a", "o=a", 11},
      {"cn=Xdc=a,dc=b", "dc=a,dc=b", std::string_view::npos},
      {"dc=a,dc=b", "dc=a,dc=b", std::string_view::npos},  // the base itself
      {"cn=X", "dc=a,dc=b", std::string_view::npos},
      {"cn=X,o=a", "", std::string_view::npos},
  };
  for (const auto& c : cases) EXPECT_EQ(FindBaseSuffix(c.dn, c.base), c.comma) << c.dn;
}

TEST(DnEscape, FirstRdnValueStopsAtUnescapedSeparator) {
  const struct {
    const char* dn;
    const char* value;
    const char* text;
  } cases[] = {
      {"cn=Jane Roe057+mail=ADDRESS", "Jane Roe057", "Jane Roe057"},
      {"cn=Doe\\, John057", "Doe\\, John057", "Doe, John057"},
      {"cn=A\\+B+mail=x", "A\\+B", "A+B"},
      {"uid=x057,dc=a", "x057", "x057"},
      {"cn=Jos\\C3\\A9057", "Jos\\C3\\A9057", "Jos\xC3\xA9" "057"},
      {"cn=\\5Cx", "\\5Cx", "\\x"},
      {"noequals", "", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FirstRDNValue(c.dn), c.value) << c.dn;
    EXPECT_EQ(UnescapeDNValue(FirstRDNValue(c.dn)), c.text) << c.dn;
  }
}

TEST(DnEscape, UnsafeValuesAreWrittenInBase64) {
  const struct {
    const char* value;
    const char* line;
  } cases[] = {
      {"Jane Roe", "cn: Jane Roe"},
      {"", "cn: "},
      {"Jos\xC3\xA9", "cn:: Sm9zw6k="},
      {" lead", "cn:: IGxlYWQ="},
      {":colon", "cn:: OmNvbG9u"},
      {"<url", "cn:: PHVybA=="},
      {"trail ", "cn:: dHJhaWwg"},
      {"a\rb", "cn:: YQ1i"},
      {"a:b<c", "cn: a:b<c"},
  };
  for (const auto& c : cases) {
    std::string line;
    AppendAttributeLine("cn", c.value, line);
    EXPECT_EQ(line, c.line) << c.value;
  }
}

TEST(DnEscape, UnsafeBytesAreFoundAnywhere) {
  // NUL, CR, LF and bytes of 0x80 and above make a value unsafe at any position; the bytes
  // next to them (by one bit or by one) do not.
  const char unsafe[] = {'\0', '\r', '\n', '\x80', '\xFF', '\xC3'};
  const char safe[] = {'\x01', '\x0B', '\x0C', '\x0E', '\x09', '\x7F', 'J', 'M'};
  for (std::size_t length = 1; length < 20; ++length) {
    for (std::size_t at = 0; at < length; ++at) {
      std::string value(length, 'x');
      for (const char c : unsafe) {
        value[at] = c;
        EXPECT_FALSE(IsSafeString(value)) << int(c) << " at " << at << " of " << length;
      }
      for (const char c : safe) {
        value[at] = c;
        EXPECT_TRUE(IsSafeString(value)) << int(c) << " at " << at << " of " << length;
      }
    }
  }
}

TEST(DnEscape, UnescapingCopiesTheTextBetweenEscapes) {
  const struct {
    const char* value;
    std::string text;
  } cases[] = {
      {"plain text without escapes at all", "plain text without escapes at all"},
      {"a\\2Cb\\,c\\\\d", "a,b,c\\d"},
      {"\\41\\42", "AB"},
      {"end\\", "end\\"},        // a lone backslash at the end stays
      {"hex\\4", "hex4"},         // too short for a pair: the next byte as it is
      {"hex\\4g", "hex4g"},
      {"nul\\00x", std::string("nul\0x", 5)},
  };
  for (const auto& c : cases) {
    std::string out = "kept ";
    AppendUnescapedDNValue(c.value, out);
    EXPECT_EQ(out, "kept " + c.text) << c.value;
  }
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

TEST(DnEscape, EmptyComponentsAreLeftOut) {
  const struct {
    const char* dn;
    const char* whole;
  } cases[] = {
      {"cn=,mail=X", "mail=X"},
      {"cn=test,mail=", "cn=test"},
      {"cn=A+uid=", "cn=A"},
      {"cn= ,mail=X", "mail=X"},       // a blank value is empty too
      {"cn=,mail=", ""},
      {"cn=a\\,b=", "cn=a\\,b="},      // an escaped comma separates nothing
      {"=x,cn=A", "=x,cn=A"},          // no type: not a "type=" part
      {"Al/M", "Al/M"},
      {"cn=A,mail=X", "cn=A,mail=X"},
      {"cn=Ann ,sn=", "cn=Ann"},       // nor does what is left end in a blank
      {"cn=Ann +uid= ", "cn=Ann"},
      {",ou=x", "ou=x"},               // a blank first part names nothing
      {" , +cn=A", "cn=A"},
      {"\t+cn=A", "cn=A"},            // blanks before the separator are any trimmed bytes
      {"   ", ""},                     // nothing but blanks names nothing
      {" cn=A,ou=", "cn=A"},           // a first part after blanks is no blank part
      {"cn=Doe, ,John", "cn=Doe, ,John"},  // a blank part inside an address book's name stays
  };
  std::string room;
  for (const auto& c : cases) EXPECT_EQ(WithoutEmptyParts(c.dn, room), c.whole) << c.dn;
}

TEST(DnEscape, HierarchyIsContainersAfterTheFirstPart) {
  const struct {
    const char* dn;
    std::size_t end;
  } cases[] = {
      {"cn=J,ou=people,dc=example,dc=org", 4},
      {"uid=j,o=b,l=c,st=d,c=DE", 5},
      {"cn=J, OU=people", 4},
      {"cn=Doe\\, J,ou=x", 10},                      // the escaped comma is in the first part
      {"cn=X", std::string_view::npos},               // nothing after the first part
      {"cn=Doe, John,mail=j@x", std::string_view::npos},
      {"cn=A,uid=b", std::string_view::npos},          // not a container type
      {"cn=A,ou=", std::string_view::npos},            // a container without a value
      {"cn=A,ou=x,mail=y", std::string_view::npos},    // every later part must be a container
      // A directory's own DN: the escaped comma and the mail value are in the first RDN.
      {"cn=Doe\\, John+mail=j@example.org,ou=people,dc=example,dc=org", 32},
      {"cn=Doe\\, J,mail=j@x,ou=people", std::string_view::npos},
  };
  for (const auto& c : cases) EXPECT_EQ(HierarchySuffix(c.dn), c.end) << c.dn;
}

TEST(DnEscape, RdnAsWrittenKeepsItsEscapes) {
  const struct {
    const char* rdn;
    const char* out;
  } cases[] = {
      {"cn=Doe\\, John", "cn=Doe\\, John"},
      {"cn=Doe\\2C John", "cn=Doe\\2C John"},
      {"cn=A+uid=a", "cn=A+uid=a"},          // "+" stays the separator
      {"cn=C:\\dir", "cn=C:\\5Cdir"},        // a backslash that escapes nothing is text
      {"cn=a;b", "cn=a\\;b"},                 // the rest escaped as any address-book DN
      {"cn=#1", "cn=\\231"},
      {"cn=J\xC3\xBC", "cn=J\\C3\\BC"},
      {"cn=end\\", "cn=end\\5C"},
      {"cn=Y ", "cn=Y"},                      // no blank before the suffix's comma
      {"cn=Y\\ ", "cn=Y\\ "},                  // an escaped blank is the value's own
      {"cn=A + uid=a", "cn=A+uid=a"},
      {"cn=a+b", "cn=a\\+b"},                  // no type=value after it: the "+" is text
      {"cn=a+b+uid=c", "cn=a\\+b+uid=c"},
      {"cn=a+=b", "cn=a\\+=b"},
      {"cn=a\\+b", "cn=a\\+b"},
  };
  for (const auto& c : cases) {
    std::string out = "dn: ";
    AppendRDNAsWritten(c.rdn, out);
    EXPECT_EQ(out, std::string("dn: ") + c.out) << c.rdn;
  }
}

TEST(DnEscape, DnAsWrittenEscapesEachRdn) {
  const struct {
    const char* dn;
    const char* out;
  } cases[] = {
      {"cn=J ,ou=people, dc=example", "cn=J,ou=people,dc=example"},
      {"cn=Doe\\, J+uid=a,ou=x", "cn=Doe\\, J+uid=a,ou=x"},
      {"cn=a+b,ou=R&D", "cn=a\\+b,ou=R\\26D"},
  };
  for (const auto& c : cases) {
    std::string out;
    AppendDNAsWritten(c.dn, out);
    EXPECT_EQ(out, c.out) << c.dn;
  }
}

TEST(DnEscape, FirstAvaEndsAtTheFirstUnescapedSeparator) {
  const struct {
    const char* dn;
    const char* ava;
  } cases[] = {
      {"Doe,dc=x", "Doe"},
      {"Tom+Jerry,mail=x", "Tom"},
      {"cn=a\\,b\\+c,dc=x", "cn=a\\,b\\+c"},
      {"Al/M", "Al/M"},
      {"", ""},
      {"\\,a,b", "\\,a"},                 // a backslash at the very start escapes too
      {"cn=a\\", "cn=a\\"},               // nor does a last backslash find anything
      {"cn=a\\+b,c+d", "cn=a\\+b"},        // an escaped "+" before the comma
      {"cn=a+b\\,c", "cn=a"},
  };
  for (const auto& c : cases) EXPECT_EQ(FirstAVA(c.dn), c.ava) << c.dn;
}

TEST(DnEscape, SeparatorsAfterRunsOfBackslashes) {
  // Each backslash escapes the byte after it, a backslash too: after an even run of them a
  // "," or "+" separates, after an odd run it is text.
  for (std::size_t run = 0; run < 6; ++run) {
    const std::string head = "cn=a" + std::string(run, '\\');
    const bool escaped = run % 2 == 1;
    for (const char separator : {',', '+'}) {
      const std::string dn = head + separator + "b,ou=x";
      EXPECT_EQ(FirstAVA(dn), escaped ? head + separator + "b" : head) << dn;
    }
    const std::string dn = head + ",ou=y,ou=x";
    EXPECT_EQ(HierarchySuffix(dn), head.size() + (escaped ? 5 : 0)) << dn;
    std::string out;
    AppendDNAsWritten("ou=x," + dn, out);  // the same for an RDN after the first
    EXPECT_EQ(out, "ou=x," + dn) << dn;
  }
}

TEST(DnEscape, ValuesThatAreNotUtf8AreReadAsWindows1252) {
  const struct {
    const char* dn;
    const char* out;  // null: the DN is UTF-8 already
  } cases[] = {
      {"cn=M\xFCller,mail=m@x", "cn=M\xC3\xBCller,mail=m@x"},
      {"cn=M\xC3\xBCller,ou=\x80", "cn=M\xC3\xBCller,ou=\xE2\x82\xAC"},  // each value alone
      {"cn=a\\,\xE9+uid=\xE9", "cn=a\\,\xC3\xA9+uid=\xC3\xA9"},
      {"cn=M\xC3\xBCller", nullptr},
      {"cn=plain", nullptr},
  };
  for (const auto& c : cases) {
    std::string out = "untouched";
    EXPECT_EQ(RecodeDNValues(c.dn, out), c.out != nullptr) << c.dn;
    EXPECT_EQ(out, c.out != nullptr ? c.out : "untouched") << c.dn;
  }
}

TEST(DnEscape, LineBreaksAreWrittenAsHexPairs) {
  EXPECT_EQ(EscapeLineBreaks(std::string("a\r\nb\0c", 6)), "a\\0D\\0Ab\\00c");
  // Every other byte stays, backslashes and non-ASCII bytes among them.
  EXPECT_EQ(EscapeLineBreaks("J\xC3\xBC\t\\,+"), "J\xC3\xBC\t\\,+");
}

}  // namespace
}  // namespace quorvane
