// gen_book: writes a realistic address-book LDIF export of any size, for benchmarks and tests.
//
// The records look like a mail client's address-book export: `dn: cn=NAME,mail=ADDRESS` with
// nothing escaped, the mozilla* attributes in the exporter's order, Base64 values wherever a
// value is not plain ASCII, mailing lists with member lines, duplicates (some differing only in
// letter case), contacts without a name, a surname or an address, empty values, booleans,
// CR LF line ends and a blank line after each record. A few records carry an undecodable
// Base64 DN or a folded line. The same options always give the same bytes.
#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "bench/gen_book_names.h"

namespace {

using gen_book::Name;

struct Options {
  std::uint64_t records = 1000;
  std::uint64_t dupEvery = 20;     // every K-th record repeats an earlier person or list; 0: none
  std::uint64_t everyDnTimes = 1;  // >1: each DN occurs this many times in a row
  std::uint64_t start = 1;         // start value of the pseudo-random sequence
  bool lf = false;                 // LF instead of CR LF line ends
  bool nonAscii = false;           // every name holds letters beyond ASCII
  const char* output = nullptr;
};

// splitmix64: fast, and fully determined by its start value.
class Random {
 public:
  explicit Random(std::uint64_t state) : state_(state) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  std::size_t Below(std::size_t n) { return static_cast<std::size_t>(Next() % n); }
  bool Percent(unsigned p) { return Next() % 1000 < p * 10; }
  bool PerMille(unsigned p) { return Next() % 1000 < p; }
  template <class T, std::size_t N>
  const T& Pick(const T (&items)[N]) {
    return items[Below(N)];
  }

 private:
  std::uint64_t state_;
};

std::uint64_t Mix(std::uint64_t start, std::uint64_t index, std::uint64_t salt) {
  Random r(start * 0x100000001B3ull ^ (index + 1) * 0xD6E8FEB86659FD93ull ^ salt);
  return r.Next();
}

constexpr const char* kDomains[] = {"example.com", "example.org", "example.net", "mail.example.com",
                                    "post.example.de", "corp.example.co.uk"};
constexpr const char* kCompanies[] = {"Acme & Sons",      "Initech",           "Müller GmbH",
                                      "Smith, Jones and Co", "Globex Corporation", "Umbrella Ltd.",
                                      "Café Zürich AG",   "Stark Industries",  "Wayne Enterprises"};
constexpr const char* kTitles[] = {"Engineer", "Sales Manager", "Director", "Accountant",
                                   "Consultant", "Head of R&D", "Assistant", "Développeur"};
constexpr const char* kCities[] = {"Springfield", "München", "London", "Paris", "Kraków",
                                   "New York", "Zürich", "Lisboa", "Oslo", "Madrid"};
constexpr const char* kStates[] = {"IL", "Bayern", "NY", "CA", "Île-de-France", "ZH"};
constexpr const char* kCountries[] = {"USA", "Germany", "United Kingdom", "France", "Poland",
                                      "Switzerland", "Deutschland", "España"};
constexpr const char* kStreets[] = {"Main Street", "Hauptstraße", "High Street", "Rue de la Paix",
                                    "Elm Street", "Bahnhofstrasse", "Avenida da Liberdade"};
constexpr const char* kListNames[] = {"Family",       "Friends & Family", "Book club",
                                      "Ski club, winter", "Project \"Apollo\"", "Team Zürich",
                                      "Parents + Kids",   "Neighbours"};
constexpr const char* kNicknames[] = {"Bob", "Liz", "JD", "Doc", "Kiki", "Max", "Sunny"};

// The people and lists a book names; a duplicate record repeats one of them.
struct Identity {
  bool isList = false;
  std::string cn;    // empty: the contact has no display name
  std::string mail;  // empty: no address
  std::string given;
  std::string surname;
  bool hasSurname = true;
};

class BookWriter {
 public:
  explicit BookWriter(const Options& options) : options_(options), eol_(options.lf ? "\n" : "\r\n") {}

  void Record(std::uint64_t index, std::string& out);

 private:
  std::uint64_t IdentityIndex(std::uint64_t record, bool& caseVariant) const;
  bool IsDuplicateSlot(std::uint64_t record) const;
  bool IsList(std::uint64_t id) const { return Mix(options_.start, id, 7) % 40 == 0; }
  Identity MakeIdentity(std::uint64_t id, bool capitals = false) const;
  std::string DNOf(const Identity& person) const;
  void Contact(const Identity& person, Random& r, std::string& out) const;
  void List(std::uint64_t id, const Identity& list, Random& r, std::string& out) const;
  void Attr(std::string& out, std::string_view name, std::string_view value) const;
  void AttrRaw(std::string& out, std::string_view name, std::string_view value) const;
  std::string_view N(std::string_view name) const;  // the attribute name as this producer writes it

  const Options& options_;
  const char* eol_;
  mutable bool lowerNames_ = false;
  mutable std::string lowered_;
};

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string Base64(std::string_view bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16 |
                       unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8 |
                       unsigned(static_cast<unsigned char>(bytes[i + 2]));
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += kBase64[(v >> 6) & 63];
    out += kBase64[v & 63];
  }
  if (i < bytes.size()) {
    unsigned v = unsigned(static_cast<unsigned char>(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= unsigned(static_cast<unsigned char>(bytes[i + 1])) << 8;
    out += kBase64[v >> 18];
    out += kBase64[(v >> 12) & 63];
    out += i + 1 < bytes.size() ? kBase64[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

// RFC 2849 SAFE-STRING: anything else is written in Base64, as the exporter does.
bool IsSafe(std::string_view value) {
  if (!value.empty() && (value[0] == ' ' || value[0] == ':' || value[0] == '<')) return false;
  for (char c : value) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u >= 0x80 || u == 0 || u == '\r' || u == '\n') return false;
  }
  return true;
}

void FlipAsciiCase(std::string& text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') {
      c = char(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = char(c - 'A' + 'a');
    }
  }
}

void AppendNumber(std::string& out, std::uint64_t value, int width = 0) {
  char digits[24];
  auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  (void)ec;
  for (int pad = width - int(end - digits); pad > 0; --pad) out += '0';
  out.append(digits, end);
}

bool BookWriter::IsDuplicateSlot(std::uint64_t record) const {
  return options_.everyDnTimes <= 1 && options_.dupEvery >= 2 && record > 0 &&
         record % options_.dupEvery == options_.dupEvery - 1;
}

std::uint64_t BookWriter::IdentityIndex(std::uint64_t record, bool& caseVariant) const {
  caseVariant = false;
  if (options_.everyDnTimes > 1) return record / options_.everyDnTimes;
  if (!IsDuplicateSlot(record)) return record;
  const std::uint64_t h = Mix(options_.start, record, 11);
  const std::uint64_t back = 1 + h % (record < 500 ? record : 500);
  std::uint64_t earlier = record - back;
  if (IsDuplicateSlot(earlier)) --earlier;  // duplicate slots are K apart, K >= 2
  caseVariant = (h >> 32) % 3 == 0;
  return earlier;
}

// A name of the ordinary book, or with --non-ascii one of the other table.
template <std::size_t A, std::size_t O>
Name Choose(Random& r, bool nonAscii, const Name (&ascii)[A], const Name (&other)[O]) {
  return nonAscii ? r.Pick(other) : r.Pick(ascii);
}

// `capitals`: the names written in capitals, as a copy of a non-ASCII book's contact has them.
Identity BookWriter::MakeIdentity(std::uint64_t id, bool capitals) const {
  Random r(Mix(options_.start, id, 3));
  Identity person;
  if (IsList(id)) {
    person.isList = true;
    if (options_.nonAscii) {
      const Name& name = r.Pick(gen_book::kListNamesNonAscii);
      person.cn = capitals ? name.upper : name.display;
    } else {
      person.cn = r.Pick(kListNames);
    }
    if (r.Percent(60)) {
      person.cn += ' ';
      AppendNumber(person.cn, id);
    }
    return person;
  }
  using namespace gen_book;
  auto givenName = [&] { return Choose(r, options_.nonAscii, kGivenNames, kGivenNamesNonAscii); };
  auto surName = [&] { return Choose(r, options_.nonAscii, kSurnames, kSurnamesNonAscii); };
  const Name given = givenName();
  const Name surname = surName();
  person.given = capitals ? given.upper : given.display;
  person.surname = capitals ? surname.upper : surname.display;
  const std::size_t form = r.Below(100);
  if (form < 55) {
    person.cn = person.given + " " + person.surname;
  } else if (form < 80) {
    person.cn = person.surname + ", " + person.given;  // the comma nobody escapes
  } else if (form < 85) {
    person.cn = person.given + " \"" + r.Pick(kNicknames) + "\" " + person.surname;
  } else if (form < 90) {
    person.cn = person.surname + " & " + surName().display;
  } else if (form < 93) {
    person.cn = person.given + " + " + givenName().display + " " + person.surname;
  } else {
    person.cn = person.given + " " + person.surname;
  }
  person.mail = std::string(given.ascii) + "." + surname.ascii;
  AppendNumber(person.mail, id % 1000);  // keeps most addresses apart
  person.mail += '@';
  person.mail += r.Pick(kDomains);
  const std::size_t parts = r.Below(100);
  if (parts < 6) {
    person.mail.clear();  // a card with a name only
  } else if (parts < 12) {
    person.cn.clear();  // a card with an address only
    person.given.clear();
    person.surname.clear();
  }
  person.hasSurname = !person.surname.empty() && !r.Percent(5);
  return person;
}

std::string BookWriter::DNOf(const Identity& person) const {
  std::string dn;
  if (!person.cn.empty()) dn = "cn=" + person.cn;
  if (!person.mail.empty()) {
    if (!dn.empty()) dn += ',';
    dn += "mail=" + person.mail;
  }
  return dn;
}

std::string_view BookWriter::N(std::string_view name) const {
  if (!lowerNames_) return name;
  lowered_.assign(name);
  for (char& c : lowered_) {
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  }
  return lowered_;
}

void BookWriter::AttrRaw(std::string& out, std::string_view name, std::string_view value) const {
  out.append(N(name));
  out += value.empty() ? ":" : ": ";
  out.append(value);
  out += eol_;
}

void BookWriter::Attr(std::string& out, std::string_view name, std::string_view value) const {
  if (IsSafe(value)) {
    AttrRaw(out, name, value);
    return;
  }
  out.append(N(name));
  out += ":: ";
  out += Base64(value);
  out += eol_;
}

void BookWriter::Contact(const Identity& person, Random& r, std::string& out) const {
  std::string dn = DNOf(person);
  if (!IsSafe(dn) && r.PerMille(2)) {
    out += "dn:: ";
    out += Base64(dn).substr(1);  // a damaged Base64 DN: its length is no multiple of 4
    out += eol_;
  } else {
    Attr(out, "dn", dn);
  }
  for (const char* cls : {"top", "person", "organizationalPerson", "inetOrgPerson"}) {
    AttrRaw(out, "objectclass", cls);
  }
  AttrRaw(out, "objectclass", r.Percent(5) ? "mozillaAbPersonObsolete" : "mozillaAbPersonAlpha");
  if (!person.given.empty()) Attr(out, "givenName", person.given);
  if (person.hasSurname) Attr(out, "sn", person.surname);
  if (!person.cn.empty()) Attr(out, "cn", person.cn);
  if (r.Percent(20)) Attr(out, "mozillaNickname", r.Pick(kNicknames));
  if (!person.mail.empty()) Attr(out, "mail", person.mail);
  if (r.Percent(30)) {
    std::string second = person.mail.empty() ? "private@example.net" : "home." + person.mail;
    if (r.Percent(10) && !person.mail.empty()) {
      second = person.mail;  // the same address but for letter case
      FlipAsciiCase(second);
    }
    Attr(out, "mozillaSecondEmail", second);
  }
  if (r.Percent(3)) Attr(out, "nsAIMid", "aim" + std::to_string(r.Below(100000)));
  if (r.Percent(30)) AttrRaw(out, "mozillaUseHtmlMail", r.Percent(50) ? "true" : "false");
  std::string stamp;
  if (r.Percent(5)) {
    stamp = "0Z";
  } else {
    AppendNumber(stamp, 1000000000 + r.Below(700000000));
  }
  AttrRaw(out, "modifytimestamp", stamp);
  auto phone = [&r](std::string prefix) {
    AppendNumber(prefix, r.Below(1000), 3);
    prefix += '-';
    AppendNumber(prefix, r.Below(10000), 4);
    return prefix;
  };
  if (r.Percent(65)) Attr(out, "telephoneNumber", phone("+1 555 "));
  if (r.Percent(35)) Attr(out, "homePhone", phone("+44 20 "));
  if (r.Percent(5)) Attr(out, "facsimiletelephonenumber", phone("+49 89 "));
  if (r.Percent(2)) Attr(out, "pager", phone("555 "));
  if (r.Percent(55)) Attr(out, "mobile", phone("+33 6 "));
  const bool home = r.Percent(35);
  if (home) {
    std::string street = std::to_string(1 + r.Below(200)) + " " + r.Pick(kStreets);
    Attr(out, "mozillaHomeStreet", street);
    if (r.Percent(15)) Attr(out, "mozillaHomeStreet2", "Apt. " + std::to_string(r.Below(90)));
    Attr(out, "mozillaHomeLocalityName", r.Pick(kCities));
    if (r.Percent(50)) Attr(out, "mozillaHomeState", r.Pick(kStates));
    Attr(out, "mozillaHomePostalCode", std::to_string(10000 + r.Below(90000)));
    if (r.Percent(50)) Attr(out, "mozillaHomeCountryName", r.Pick(kCountries));
  }
  if (r.Percent(30)) {
    Attr(out, "street", std::to_string(1 + r.Below(500)) + " " + r.Pick(kStreets));
    if (r.Percent(10)) Attr(out, "mozillaWorkStreet2", "Building " + std::to_string(r.Below(9)));
    Attr(out, "l", r.Pick(kCities));
    if (r.Percent(40)) Attr(out, "st", r.Pick(kStates));
    Attr(out, "postalCode", std::to_string(10000 + r.Below(90000)));
    if (r.Percent(40)) Attr(out, "c", r.Pick(kCountries));  // free text, not a country code
  }
  if (r.Percent(40)) Attr(out, "title", r.Pick(kTitles));
  if (r.Percent(10)) Attr(out, "ou", r.Percent(50) ? "Sales" : "Research & Development");
  if (r.Percent(45)) Attr(out, "o", r.Pick(kCompanies));
  if (r.Percent(10)) Attr(out, "mozillaWorkUrl", "http://www.example.com/~" + person.mail.substr(0, 5));
  if (r.Percent(5)) Attr(out, "mozillaHomeUrl", "https://home.example.net/");
  if (r.Percent(12)) {
    AttrRaw(out, "birthyear", std::to_string(1940 + r.Below(70)));
    std::string month, day;
    AppendNumber(month, 1 + r.Below(12), 2);
    AppendNumber(day, 1 + r.Below(28), 2);
    AttrRaw(out, "birthmonth", month);
    AttrRaw(out, "birthday", day);
  }
  for (const char* custom : {"mozillaCustom1", "mozillaCustom2", "mozillaCustom3", "mozillaCustom4"}) {
    if (r.Percent(3)) AttrRaw(out, custom, r.Percent(50) ? "" : "VIP");
  }
  const std::size_t note = r.Below(1000);
  if (note < 30) {
    AttrRaw(out, "description", "");  // an empty value
  } else if (note < 33) {
    // A long note folded as RFC 2849 allows (which this exporter never does itself).
    std::string text = "Met at the conference in Lisboa; interested in the new product line, "
                       "call back after the holidays and send the brochure";
    out.append(N("description"));
    out += ": ";
    out.append(text.substr(0, 60));
    out += eol_;
    out += ' ';
    out.append(text.substr(60));
    out += eol_;
  } else if (note < 280) {
    Attr(out, "description", r.Percent(20) ? "Rencontré à Zürich" : "Met at the trade fair");
  }
}

void BookWriter::List(std::uint64_t id, const Identity& list, Random& r, std::string& out) const {
  Attr(out, "dn", "cn=" + list.cn);
  AttrRaw(out, "objectclass", "top");
  AttrRaw(out, "objectclass", "groupOfNames");
  Attr(out, "cn", list.cn);
  if (r.Percent(30)) Attr(out, "mozillaNickname", "list" + std::to_string(id % 100));
  if (r.Percent(50)) Attr(out, "description", r.Percent(50) ? "" : "Everyone on the team");
  const std::size_t members = r.Below(12);  // some lists have no member at all
  for (std::size_t m = 0; m < members && id > 0; ++m) {
    const std::uint64_t member = r.Below(id);
    if (IsList(member) || IsDuplicateSlot(member)) continue;
    Attr(out, "member", DNOf(MakeIdentity(member)));
  }
}

void BookWriter::Record(std::uint64_t index, std::string& out) {
  bool caseVariant = false;
  const std::uint64_t id = IdentityIndex(index, caseVariant);
  // A non-ASCII book's copies in another letter case have their names in capitals.
  Identity person = MakeIdentity(id, caseVariant && options_.nonAscii);
  if (caseVariant && !options_.nonAscii) {
    FlipAsciiCase(person.isList ? person.cn : (person.mail.empty() ? person.cn : person.mail));
  }
  Random r(Mix(options_.start, index, 5));
  lowerNames_ = r.Percent(15);  // other producers write every attribute name in lower case
  if (person.isList) {
    List(id, person, r, out);
  } else {
    Contact(person, r, out);
  }
  out += eol_;
}

[[noreturn]] void Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "gen_book: %s\n", problem);
  std::fputs(
      "Usage: gen_book --records N [--dup-every K] [--every-dn-times K] [--start S] [--lf]\n"
      "                [--non-ascii] [--output FILE]\n"
      "Writes an address-book LDIF export of N records (default 1000) to FILE or standard\n"
      "output. --dup-every K: every K-th record repeats an earlier person or list, a third of\n"
      "them in another letter case (default 20; 0: none). --every-dn-times K: every DN occurs\n"
      "K times in a row instead. --start S: start value of the pseudo-random choices (default\n"
      "1); the same options give the same bytes. --lf: LF line ends instead of CR LF.\n"
      "--non-ascii: every name holds letters beyond ASCII (Greek, Cyrillic, Turkish, Latin\n"
      "with diacritics); copies in another letter case have their names in capitals.\n",
      problem ? stderr : stdout);
  std::exit(problem ? 2 : 0);
}

std::uint64_t Number(const char* text) {
  std::uint64_t value = 0;
  const char* end = text + std::strlen(text);
  auto [ptr, ec] = std::from_chars(text, end, value);
  if (ec != std::errc() || ptr != end || ptr == text) Usage("expected a whole number");
  return value;
}

Options Parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--help") Usage(nullptr);
    if (arg == "--lf" || arg == "--non-ascii") {
      (arg == "--lf" ? options.lf : options.nonAscii) = true;
      continue;
    }
    if (i + 1 >= argc) Usage("missing value or unknown option");
    const char* value = argv[++i];
    if (arg == "--records") {
      options.records = Number(value);
    } else if (arg == "--dup-every") {
      options.dupEvery = Number(value);
      if (options.dupEvery == 1) Usage("--dup-every must be 0 or at least 2");
    } else if (arg == "--every-dn-times") {
      options.everyDnTimes = Number(value);
      if (options.everyDnTimes == 0) Usage("--every-dn-times must be at least 1");
    } else if (arg == "--start") {
      options.start = Number(value);
    } else if (arg == "--output") {
      options.output = value;
    } else {
      Usage("unknown option");
    }
  }
  return options;
}

}  // namespace

int main(int argc, char** argv) {
  const Options options = Parse(argc, argv);
  std::FILE* file = options.output ? std::fopen(options.output, "wb") : stdout;
  if (!file) {
    std::fprintf(stderr, "gen_book: cannot create \"%s\": %s\n", options.output, std::strerror(errno));
    return 2;
  }
  BookWriter writer(options);
  std::string block;
  block.reserve(1 << 21);
  bool ok = true;
  for (std::uint64_t i = 0; i < options.records && ok; ++i) {
    writer.Record(i, block);
    if (block.size() >= (1 << 20)) {
      ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
      block.clear();
    }
  }
  if (ok) ok = std::fwrite(block.data(), 1, block.size(), file) == block.size();
  ok = (std::fflush(file) == 0) && ok;
  if (options.output) ok = (std::fclose(file) == 0) && ok;
  if (!ok) {
    std::fprintf(stderr, "gen_book: cannot write \"%s\": %s\n",
                 options.output ? options.output : "standard output", std::strerror(errno));
    return 2;
  }
  return 0;
}
