// matching_pairs: pairs of DNs and of values for a throwaway slapd to judge, and the judging.
//
//   matching_pairs generate DIR BASE   writes DIR/probes.ldif and DIR/expected.txt
//   matching_pairs judge DIR           reads the server's entries (LDIF of their DNs) on
//                                      standard input and compares each pair's fate with what
//                                      MatchKey and DNMatchKey said; exit 1 on any difference
//
// Each pair lives under a container of its own, dc=pN,BASE. A DN pair adds two entries whose
// RDNs hold the two texts: the server keeps one ("Already exists") exactly when it takes the
// DNs for one name. A value pair adds one entry holding both values of one attribute: the
// server refuses it ("provided more than once") exactly when it takes them for one value.
#include <unicode/locid.h>
#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base64.h"
#include "engine/dn_escape.h"
#include "schema/matching.h"
#include "schema/schema_sources.h"

namespace {

using quorvane::BuiltinSchema;

struct Probe {
  bool dn;           // a DN pair, else a value pair
  std::string type;  // the RDN's or the value's attribute
  std::string a, b;
};

icu::UnicodeString U(const std::string& text) { return icu::UnicodeString::fromUTF8(text); }
std::string Utf8(const icu::UnicodeString& text) {
  std::string out;
  text.toUTF8String(out);
  return out;
}

std::string Normal(const std::string& text, bool decompose) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* form = decompose ? icu::Normalizer2::getNFDInstance(status)
                                           : icu::Normalizer2::getNFKCInstance(status);
  return Utf8(form->normalize(U(text), status));
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos;
       at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// The letter-case and normal-form variants of a name, as people and programs write them.
std::vector<std::string> Variants(const std::string& word) {
  const icu::Locale root = icu::Locale::getRoot();
  const icu::Locale turkish("tr");
  icu::UnicodeString upper = U(word), lower = U(word), title = U(word);
  icu::UnicodeString upperTr = U(word), lowerTr = U(word);
  upper.toUpper(root);
  lower.toLower(root);
  title.toTitle(nullptr, root);
  upperTr.toUpper(turkish);
  lowerTr.toLower(turkish);
  return {Utf8(upper),
          Utf8(lower),
          Utf8(title),
          Utf8(upperTr),
          Utf8(lowerTr),
          Normal(word, true),
          Normal(Utf8(upper), true),
          Normal(word, false),
          Replace(word, " ", "  "),
          "  " + Utf8(lower) + " ",
          Replace(word, " ", "\t"),
          Replace(word, " ", "\xC2\xA0"),          // no-break space
          Replace(Utf8(upper), " ", "\xE3\x80\x80")};  // ideographic space
}

// Names in several scripts, each with a space inside.
const char* const kWords[] = {
    "J\u00FCrgen M\u00FCller",       "Jos\u00E9 Garc\u00EDa",
    "\u00C6r\u00F8sk\u00F8bing \u00C5l", "\u0141ukasz \u017B\u00F3\u0142\u0107",
    "Stra\u00DFe Nord",              "STRA\u1E9EE S\u00FCd",
    "O\u03B4\u03CC\u03C2 \u03A3\u03BF\u03C6\u03AF\u03B1\u03C2",
    "\u039F\u0394\u039F\u03A3 \u0391\u0398\u0397\u039D\u03A9\u039D",
    "\u042E\u0440\u0438\u0439 \u0413\u0430\u0433\u0430\u0440\u0438\u043D",
    "\u0130stanbul I\u015F\u0131k",  "\u0131i I\u0130",
    "\uFB01nn \uFB02o",              "\uFF2A\uFF4F\uFF48\uFF4E \uFF24\uFF4F\uFF45",
    "\u01C4emal \u01C5ivko",         "\u212Bngstr\u00F6m \u00C5sa",
    "\u2163 Roman",                  "\u2C00 glagolitic",
    "\u13A0 cherokee",               "\u00C9ire \u00D3 Dubh",
};

// Pairs that test one letter, number or space rule head on.
const Probe kSinglePairs[] = {
    {false, "cn", "Stra\u00DFe", "STRASSE"},     {false, "cn", "Stra\u00DFe", "STRA\u1E9EE"},
    {false, "cn", "stra\u00DFe", "strasse"},     {false, "cn", "\u0131", "i"},
    {false, "cn", "\u0130", "i"},                {false, "cn", "\u0130", "I"},
    {false, "cn", "\uFB01", "fi"},               {false, "cn", "\uFB01", "FI"},
    {false, "cn", "\u2163", "iv"},               {false, "cn", "\u2163", "IV"},
    {false, "cn", "\U0001D400", "a"},            {false, "cn", "\U0001D400", "A"},
    {false, "cn", "\u03A3", "\u03C2"},           {false, "cn", "\u03A3", "\u03C3"},
    {false, "cn", "\u24B6", "\u24D0"},           {false, "cn", "\u1E9B\u0323", "\u1E69"},
    {false, "cn", "\u2C00", "\u2C30"},           {false, "cn", "\u10A0", "\u2D00"},
    {false, "cn", "\u212A", "k"},                {false, "cn", "A\u030A", "\u00E5"},
    {false, "cn", "a b", "a\tb"},                {false, "cn", "a\t\tb", "a\tb"},
    {false, "cn", "a b", "a\xC2\xA0\xC2\xA0" "b"},
    {false, "labeledURI", "http://A.example/", "http://a.example/"},
    {false, "labeledURI", "http://a.example/  x", "http://a.example/ x"},
    {false, "labeledURI", "http://a.example/\u00C5", "http://a.example/A\u030A"},
    {false, "mail", "J.Doe@Example.ORG", "j.doe@example.org"},
    {false, "postalAddress", "1 Elm  Street$Springfield", "1 ELM STREET $ springfield"},
    {false, "postalAddress", "1 Elm Street$Springfield", "1 Elm Street Springfield"},
    {false, "objectClass", "person", "PERSON"},  {false, "objectClass", "person", "2.5.6.6"},
    {true, "cn", "Doe\u00DF, Jos\u00E9,mail=J@X.example", "DOE\u00DF, JOSE\u0301,mail=j@x.EXAMPLE"},
    {true, "cn", "Doe, John,mail=j@x.example", "Doe, John,mail=j@y.example"},
    {true, "cn", "Doe, John,mail=j@x.example", "Doe, John"},
    {true, "mail", "J.Doe@Example.ORG", "j.doe@example.org"},
};

const char* const kPhones[] = {
    "+49 30 1234567", "+49-30-1234567", "+49.30.1234567", "+4930 1234567",
    "+49  30  1234567", "+49 (30) 1234567", " +49 30 1234567 ", "+49 30 123 45 67",
};

std::vector<Probe> AllProbes() {
  std::vector<Probe> probes;
  for (const char* word : kWords) {
    for (const std::string& variant : Variants(word)) {
      probes.push_back({false, "cn", word, variant});
      probes.push_back({true, "cn", word, variant});
    }
  }
  for (std::size_t i = 0; i < std::size(kPhones); ++i) {
    for (std::size_t k = i + 1; k < std::size(kPhones); ++k) {
      probes.push_back({false, "telephoneNumber", kPhones[i], kPhones[k]});
    }
    probes.push_back({true, "telephoneNumber", kPhones[0], kPhones[i]});
  }
  for (const Probe& probe : kSinglePairs) probes.push_back(probe);
  return probes;
}

// What the repair says: DNs as the taken-DN list keys them, values as a record's values.
bool SameToUs(const Probe& probe, const std::string& rdnA, const std::string& rdnB) {
  const quorvane::Schema& schema = BuiltinSchema();
  std::string keyA, keyB;
  if (probe.dn) {
    quorvane::DNMatchKey(schema, rdnA, keyA);
    quorvane::DNMatchKey(schema, rdnB, keyB);
  } else {
    const quorvane::AttributeType* type = schema.FindAttribute(probe.type);
    quorvane::MatchKey(schema, type, probe.a, keyA);
    quorvane::MatchKey(schema, type, probe.b, keyB);
  }
  return keyA == keyB;
}

void Line(std::ostream& out, const std::string& name, const std::string& value) {
  out << name << ":: " << quorvane::StrToBase64(value) << "\n";
}

// The entry of one RDN text: inetOrgPerson with its required names and the RDN's values.
void WriteDNEntry(std::ostream& out, const Probe& probe, const std::string& rdn,
                  const std::string& value, const std::string& container) {
  Line(out, "dn", rdn + "," + container);
  out << "objectClass: inetOrgPerson\n";
  // ",mail=" in a source DN makes the address part of the RDN (see AppendEscapedDN).
  const std::size_t mail = value.find(",mail=");
  Line(out, probe.type, value.substr(0, mail));
  if (mail != std::string::npos) Line(out, "mail", value.substr(mail + 6));
  if (probe.type != "cn") out << "cn: x\n";
  out << "sn: x\n\n";
}

void WriteValueEntry(std::ostream& out, const Probe& probe, const std::string& container) {
  out << "dn: uid=v," << container << "\nobjectClass: inetOrgPerson\nobjectClass: "
      << (probe.type == "labeledURI" ? "labeledURIObject" : "top") << "\nuid: v\n";
  Line(out, probe.type, probe.a);
  Line(out, probe.type, probe.b);
  if (probe.type != "cn") out << "cn: x\n";
  if (probe.type != "sn") out << "sn: x\n";
  out << "\n";
}

std::string Printable(const std::string& text) {
  std::string out;
  for (const unsigned char c : text) {
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += (c < 0x20 || c >= 0x7F) ? std::string(hex) : std::string(1, char(c));
  }
  return out;
}

int Generate(const std::string& dir, const std::string& base) {
  std::ofstream ldif(dir + "/probes.ldif");
  std::ofstream expected(dir + "/expected.txt");
  const std::vector<Probe> probes = AllProbes();
  for (std::size_t n = 0; n < probes.size(); ++n) {
    const Probe& p = probes[n];
    const std::string container = "dc=p" + std::to_string(n) + "," + base;
    ldif << "dn: " << container << "\nobjectClass: domain\ndc: p" << n << "\n\n";
    // The repair's own escaping, as the DN lines it writes have it.
    const std::string rdnA = quorvane::EscapeDN(p.type + "=" + p.a);
    const std::string rdnB = quorvane::EscapeDN(p.type + "=" + p.b);
    if (p.dn) {
      WriteDNEntry(ldif, p, rdnA, p.a, container);
      WriteDNEntry(ldif, p, rdnB, p.b, container);
    } else {
      WriteValueEntry(ldif, p, container);
    }
    expected << n << ' ' << (p.dn ? "dn" : "value") << ' '
             << (SameToUs(p, rdnA, rdnB) ? "same" : "differ") << ' ' << p.type << ": \""
             << Printable(p.a) << "\" / \"" << Printable(p.b) << "\"\n";
  }
  std::cout << probes.size() << " pairs\n";
  return ldif && expected ? 0 : 2;
}

// Counts the entries below each container in the server's DNs, then compares.
int Judge(const std::string& dir) {
  std::map<long, int> entries;
  for (std::string line; std::getline(std::cin, line);) {
    std::string dn;
    if (line.rfind("dn:: ", 0) == 0) dn = quorvane::Base64ToStr(line.substr(5));
    else if (line.rfind("dn: ", 0) == 0) dn = line.substr(4);
    const std::size_t at = dn.find(",dc=p");
    if (at != std::string::npos) ++entries[std::stol(dn.substr(at + 5))];
  }
  std::ifstream expected(dir + "/expected.txt");
  int pairs = 0, wrong = 0, same = 0;
  for (std::string line; std::getline(expected, line); ++pairs) {
    std::istringstream fields(line);
    long n;
    std::string kind, verdict;
    fields >> n >> kind >> verdict;
    const int kept = entries[n];
    const bool serverSame = kind == "dn" ? kept == 1 : kept == 0;
    same += serverSame;
    if (serverSame != (verdict == "same")) {
      ++wrong;
      std::cout << "MISMATCH: the server says " << (serverSame ? "same" : "differ") << ", we say "
                << line << "\n";
    }
  }
  std::cout << pairs << " pairs judged, " << same << " the same to the server, " << wrong
            << " mismatches\n";
  return wrong == 0 && pairs > 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 2 ? argv[1] : "";
  if (mode == "generate" && argc == 4) return Generate(argv[2], argv[3]);
  if (mode == "judge" && argc == 3) return Judge(argv[2]);
  std::cerr << "usage: matching_pairs generate DIR BASE | judge DIR\n";
  return 2;
}
