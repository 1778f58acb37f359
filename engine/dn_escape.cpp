// DN escaping for dn: and member: lines, the base-DN suffix test and RDN value extraction.
#include "engine/dn_escape.h"

#include <algorithm>
#include <array>
#include <vector>

#include "engine/base64.h"
#include "engine/text.h"
#include "schema/syntax.h"

namespace quorvane {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHexEscape(unsigned char c, std::string& out) {
  out.push_back('\\');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 15]);
}

bool NeedsHexEscape(unsigned char c) { return c == '&' || c == '~' || c < 0x20 || c >= 0x7F; }

// The bytes AppendEscapedDN copies unchanged wherever they stand: printable ASCII but for the
// ones it escapes or replaces.
constexpr std::array<bool, 256> kPlain = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x7F; ++c) plain[static_cast<std::size_t>(c)] = true;
  for (const char c : std::string_view("\\\"+><;,=#&~")) {
    plain[static_cast<unsigned char>(c)] = false;
  }
  return plain;
}();

bool IsPlain(unsigned char c) { return kPlain[c]; }

// The end of the run of bytes from `from` on that AppendEscapedDN copies as they are.
std::size_t PlainRunEnd(std::string_view value, std::size_t from) {
  while (from < value.size() && IsPlain(static_cast<unsigned char>(value[from]))) ++from;
  return from;
}

// Length of the mail separator starting at the comma `value[pos]`: ",mail=" or ", mail=".
// Zero when there is none. Matched case-sensitively, as the address book writes it.
std::size_t MailSeparatorLength(std::string_view value, std::size_t pos) {
  constexpr std::string_view kMail = "mail=";
  std::size_t next = pos + 1;
  if (next < value.size() && value[next] == ' ') ++next;
  return value.substr(next, kMail.size()) == kMail ? next - pos + kMail.size() : 0;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

void AppendEscapedDN(std::string_view value, std::string& out) {
  // One pass that gives the same result as applying the rules one after the other: no rule
  // creates a character that a later rule would change again.
  bool typeStart = true;  // at the start of an attribute type (DN start or after "+mail=")
  bool valueStart = false;
  for (std::size_t i = 0; i < value.size(); ++i) {
    // Most of a DN is letters, digits, spaces and dots, copied as they are in one go.
    const std::size_t plainEnd = PlainRunEnd(value, i);
    if (plainEnd > i) {
      out.append(value, i, plainEnd - i);
      valueStart = false;
      i = plainEnd;
      if (i == value.size()) break;
    }
    const unsigned char c = static_cast<unsigned char>(value[i]);
    const bool atValueStart = valueStart;
    valueStart = false;
    switch (c) {
      case '\\':
        out.append("\\5C");
        break;
      case '"':
        out.push_back('\'');
        break;
      case '+':
      case '>':
      case '<':
      case ';':
        out.push_back('\\');
        out.push_back(static_cast<char>(c));
        break;
      case ',':
        if (const std::size_t length = MailSeparatorLength(value, i)) {
          out.append("+mail=");
          i += length - 1;
          valueStart = true;
        } else {
          out.append("\\,");
        }
        break;
      case '=':
        out.push_back('=');
        if (typeStart) valueStart = true;
        break;
      case '#':  // RFC 4514 reads a value that starts with "#" as hex BER
        atValueStart ? AppendHexEscape(c, out) : out.push_back('#');
        break;
      default:
        NeedsHexEscape(c) ? AppendHexEscape(c, out) : out.push_back(static_cast<char>(c));
    }
    if (c == '=' && typeStart) typeStart = false;
  }
}

std::string EscapeDN(std::string_view value) {
  std::string out;
  out.reserve(value.size() + 16);
  AppendEscapedDN(value, out);
  return out;
}

std::string EscapeDNChars(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (NeedsHexEscape(c)) {
      AppendHexEscape(c, out);
    } else {
      out.push_back(ch);
    }
  }
  return out;
}

std::string EscapeLineBreaks(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    if (c == '\r' || c == '\n' || c == '\0') {
      AppendHexEscape(static_cast<unsigned char>(c), out);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string EscapeDNLine(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return EscapeDN(line);
  std::string out(line.substr(0, colon + 1));
  out.push_back(' ');
  AppendEscapedDN(TrimView(line.substr(colon + 1)), out);
  return out;
}

std::size_t FindBaseSuffix(std::string_view dn, std::string_view baseDN) {
  if (baseDN.empty() || dn.size() <= baseDN.size()) return std::string_view::npos;
  if (!EndsWithNoCase(dn, baseDN)) return std::string_view::npos;
  std::size_t pos = dn.size() - baseDN.size();
  while (pos > 0 && dn[pos - 1] == ' ') --pos;
  // The source escapes nothing, so a backslash before this comma is text of its own.
  if (pos == 0 || dn[pos - 1] != ',') return std::string_view::npos;
  return pos - 1;
}

std::string_view FirstRDNValue(std::string_view dn) {
  const std::size_t equals = dn.find('=');
  if (equals == std::string_view::npos) return {};
  std::size_t end = equals + 1;
  while (end < dn.size() && dn[end] != '+' && dn[end] != ',') {
    end += (dn[end] == '\\' && end + 1 < dn.size()) ? 2 : 1;
  }
  if (end > dn.size()) end = dn.size();
  return dn.substr(equals + 1, end - equals - 1);
}

std::string UnescapeDNValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  AppendUnescapedDNValue(value, out);
  return out;
}

void AppendUnescapedDNValue(std::string_view value, std::string& out) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\') {
      out.push_back(value[i]);
      continue;
    }
    if (i + 1 == value.size()) {
      out.push_back('\\');
      continue;
    }
    const int high = i + 2 < value.size() ? HexValue(value[i + 1]) : -1;
    const int low = high >= 0 ? HexValue(value[i + 2]) : -1;
    if (low >= 0) {
      out.push_back(static_cast<char>(high * 16 + low));
      i += 2;
    } else {
      out.push_back(value[++i]);
    }
  }
}

bool IsSafeString(std::string_view value) {
  if (value.empty()) return true;
  const char first = value.front();
  if (first == ' ' || first == ':' || first == '<' || value.back() == ' ') return false;
  for (const char c : value) {
    if (c == '\0' || c == '\r' || c == '\n' || static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

void AppendAttributeLine(std::string_view name, std::string_view value, std::string& out) {
  out.append(name);
  if (IsSafeString(value)) {
    out.append(": ").append(value);
  } else {
    out.append(":: ");
    AppendBase64Encoded(value, out);
  }
}

}  // namespace quorvane

namespace quorvane {
namespace {

// Whether a backslash escapes the byte at `at` of a DN read from `from` on: each backslash
// escapes the byte after it, so that byte is escaped when an odd number of them stands right
// before it.
bool IsEscaped(std::string_view dn, std::size_t from, std::size_t at) {
  std::size_t backslashes = 0;
  while (at - backslashes > from && dn[at - backslashes - 1] == '\\') ++backslashes;
  return backslashes % 2 == 1;
}

// The position of the first "," (with `atPlus` also "+") from `from` on that no backslash
// escapes, or dn.size(). Separators are few: each is found by memchr, and only then are the
// backslashes before it counted.
std::size_t NextSeparator(std::string_view dn, std::size_t from, bool atPlus) {
  for (std::size_t at = from; at < dn.size();) {
    std::size_t end = std::min(dn.find(',', at), dn.size());
    if (atPlus) end = std::min(end, dn.substr(0, end).find('+', at));  // a "+" before it
    if (end == dn.size() || !IsEscaped(dn, from, end)) return end;
    at = end + 1;
  }
  return dn.size();
}

// The position of the first "=" that no backslash escapes, or npos.
std::size_t UnescapedEquals(std::string_view dn) {
  for (std::size_t at = dn.find('='); at != std::string_view::npos; at = dn.find('=', at + 1)) {
    if (at == 0 || dn[at - 1] != '\\') return at;
  }
  return std::string_view::npos;
}

// The parts of `dn` between its separators that no backslash escapes: "," always, "+" too
// with `atPlus`. Each part keeps the separator before it (none for the first).
struct DNPart {
  char separator;
  std::string_view text;
};
std::vector<DNPart> SplitDN(std::string_view dn, bool atPlus) {
  std::vector<DNPart> parts;
  char separator = '\0';
  std::size_t start = 0;
  for (std::size_t end = NextSeparator(dn, 0, atPlus); end < dn.size();
       end = NextSeparator(dn, start, atPlus)) {
    parts.push_back({separator, dn.substr(start, end - start)});
    separator = dn[end];
    start = end + 1;
  }
  parts.push_back({separator, dn.substr(std::min(start, dn.size()))});
  return parts;
}

bool IsContainerType(std::string_view type) {
  for (const std::string_view container : {"ou", "o", "dc", "c", "l", "st"}) {
    if (EqualsNoCase(type, container)) return true;
  }
  return false;
}

// Whether a part of a DN is `type=value` with a container type and a value.
bool IsContainerPart(std::string_view part) {
  const std::size_t equals = part.find('=');
  return equals != std::string_view::npos && IsContainerType(TrimView(part.substr(0, equals))) &&
         !TrimView(part.substr(equals + 1)).empty();
}

}  // namespace

std::string_view WithoutEmptyParts(std::string_view dn, std::string& room) {
  auto isEmpty = [](std::string_view part) {
    const std::size_t equals = part.find('=');
    return equals != std::string_view::npos && !TrimView(part.substr(0, equals)).empty() &&
           TrimView(part.substr(equals + 1)).empty();
  };
  // Most DNs have none: a "=" followed by blanks and a separator, or the end. A DN that starts
  // with a separator (",ou=x"), blanks before it or not, has a blank first part, which names
  // nothing either.
  const std::string_view start = TrimStartView(dn);
  bool maybe = !dn.empty() && (start.empty() || start.front() == ',' || start.front() == '+');
  for (std::size_t at = dn.find('='); at != std::string_view::npos && !maybe;
       at = dn.find('=', at + 1)) {
    std::size_t next = at + 1;
    while (next < dn.size() && dn[next] == ' ') ++next;
    maybe = next == dn.size() || dn[next] == ',' || dn[next] == '+';
  }
  if (!maybe) return dn;
  const std::vector<DNPart> parts = SplitDN(dn, true);
  if (!TrimView(parts.front().text).empty() &&
      std::none_of(parts.begin(), parts.end(), [&](const DNPart& p) { return isEmpty(p.text); })) {
    return dn;
  }
  std::string& result = room;
  result.clear();
  for (const DNPart& part : parts) {
    if (isEmpty(part.text) || (result.empty() && TrimView(part.text).empty())) continue;
    if (result.empty()) {
      std::string_view text = part.text;  // the new first part starts without blanks
      while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
      result.append(text);
    } else {
      result.push_back(part.separator);
      result.append(part.text);
    }
  }
  return TrimEndView(result);  // nor does the DN end in blanks: no DN line may
}

std::size_t HierarchySuffix(std::string_view dn) {
  // An address book's DN ends in its mail component, or has no comma at all. The comma that
  // ends the first RDN is one that no backslash escapes: a directory writes "cn=Doe\, John".
  const std::size_t comma = NextSeparator(dn, 0, false);
  if (comma == dn.size() || dn.find("mail=", comma) != std::string_view::npos) {
    return std::string_view::npos;
  }
  for (std::size_t start = comma + 1;;) {
    const std::size_t end = NextSeparator(dn, start, false);
    if (!IsContainerPart(dn.substr(start, end - start))) return std::string_view::npos;
    if (end == dn.size()) return comma;
    start = end + 1;
  }
}

namespace {

// A part of an RDN without the blanks around it. A blank that a backslash escapes belongs to
// the value (RFC 4514 writes a value's last blank as "\ ") and stays.
std::string_view TrimAVA(std::string_view ava) {
  const std::string_view start = TrimStartView(ava);
  std::string_view trimmed = TrimEndView(start);
  std::size_t backslashes = 0;
  while (backslashes < trimmed.size() && trimmed[trimmed.size() - 1 - backslashes] == '\\') {
    ++backslashes;
  }
  if (backslashes % 2 == 1 && trimmed.size() < start.size()) {
    trimmed = start.substr(0, trimmed.size() + 1);
  }
  return trimmed;
}

// Whether `text` starts with "type=value", up to the next "+" that no backslash escapes: only
// then does a "+" before it separate two values of one RDN.
bool StartsAVA(std::string_view text) {
  const std::string_view ava = text.substr(0, NextSeparator(text, 0, true));
  const std::size_t equals = UnescapedEquals(ava);
  return equals != std::string_view::npos && !TrimView(ava.substr(0, equals)).empty();
}

// One "type=value" as a directory wrote it: escapes already there stay, the rest is escaped as
// AppendEscapedDN escapes an address book's text ("+" among it).
void AppendAVAAsWritten(std::string_view ava, std::string& out) {
  std::size_t start = 0;
  for (std::size_t i = 0; i <= ava.size(); ++i) {
    const bool end = i == ava.size();
    if (!end && ava[i] != '\\') continue;
    AppendEscapedDN(ava.substr(start, i - start), out);  // text without escapes
    if (end) break;
    if (i + 2 < ava.size() && HexValue(ava[i + 1]) >= 0 && HexValue(ava[i + 2]) >= 0) {
      out.append(ava, i, 3);  // \XX stays
      i += 2;
    } else if (i + 1 < ava.size() &&
               std::string_view(",+\"\\<>;=# ").find(ava[i + 1]) != std::string_view::npos) {
      out.append(ava, i, 2);  // \, and the like stay
      ++i;
    } else {
      out.append("\\5C");  // a backslash that escapes nothing is text
    }
    start = i + 1;
  }
}

}  // namespace

void AppendRDNAsWritten(std::string_view rdn, std::string& out) {
  std::size_t start = 0;
  while (true) {
    std::size_t end = NextSeparator(rdn, start, true);
    while (end < rdn.size() && !StartsAVA(rdn.substr(end + 1))) {
      end = NextSeparator(rdn, end + 1, true);  // a "+" inside a value is text
    }
    AppendAVAAsWritten(TrimAVA(rdn.substr(start, end - start)), out);
    if (end == rdn.size()) break;
    out.push_back('+');
    start = end + 1;
  }
}

void AppendDNAsWritten(std::string_view dn, std::string& out) {
  std::size_t start = 0;
  while (true) {
    const std::size_t end = NextSeparator(dn, start, false);
    AppendRDNAsWritten(dn.substr(start, end - start), out);
    if (end == dn.size()) break;
    out.push_back(',');
    start = end + 1;
  }
}

bool RecodeDNValues(std::string_view dn, std::string& out) {
  if (IsUtf8(dn)) return false;
  out.clear();
  for (const DNPart& part : SplitDN(dn, true)) {
    if (part.separator != '\0') out.push_back(part.separator);
    // The type and the separators are ASCII, which Windows-1252 keeps as it is: recoding the
    // whole part recodes its value.
    if (IsUtf8(part.text)) {
      out.append(part.text);
    } else {
      out.append(Windows1252ToUtf8(part.text));
    }
  }
  return true;
}

std::string_view FirstAVA(std::string_view dn) { return dn.substr(0, NextSeparator(dn, 0, true)); }

bool HasUnescapedEquals(std::string_view dn) {
  return UnescapedEquals(dn) != std::string_view::npos;
}

}  // namespace quorvane
