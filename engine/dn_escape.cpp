// DN escaping for dn: and member: lines, the base-DN suffix test and RDN value extraction.
#include "engine/dn_escape.h"

#include <array>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/base64.h"
#include "engine/text.h"

namespace quorvane {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void AppendHexEscape(unsigned char c, std::string& out) {
  out.push_back('\\');
  out.push_back(kHex[c >> 4]);
  out.push_back(kHex[c & 15]);
}

bool NeedsHexEscape(unsigned char c) { return c == '&' || c == '~' || c < 0x20 || c >= 0x7F; }

// The bytes AppendEscapedDN copies unchanged wherever they stand.
constexpr std::array<bool, 256> MakePlainTable() {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x7F; ++c) plain[c] = true;
  for (unsigned char c : std::string_view("\\\"+><;,=#&~")) plain[c] = false;
  return plain;
}
[[maybe_unused]] constexpr std::array<bool, 256> kPlain = MakePlainTable();

// Finds the bytes AppendEscapedDN does not copy as they are, 64 at a time: a DN is mostly
// letters, digits, spaces and dots, in runs too short for a byte-by-byte scan to predict.
class SpecialByteScanner {
 public:
  explicit SpecialByteScanner(std::string_view text) : text_(text) {}
  // The first such position at or after `from`, or the text's size. `from` never goes back.
  std::size_t Next(std::size_t from) {
    for (;;) {
      if (from >= base_ + 64 || !loaded_) Load(from);
      const std::uint64_t rest = mask_ & (~std::uint64_t{0} << (from - base_));
      if (rest != 0) return base_ + static_cast<std::size_t>(__builtin_ctzll(rest));
      if (base_ + 64 >= text_.size()) return text_.size();
      from = base_ + 64;
    }
  }

 private:
  void Load(std::size_t at) {
    base_ = at;
    loaded_ = true;
    const std::size_t left = text_.size() - at;
    if (left >= 64) {
      mask_ = Mask64(text_.data() + at);
      return;
    }
    char block[64];
    std::memset(block, 'a', sizeof block);  // a plain byte beyond the end
    std::memcpy(block, text_.data() + at, left);
    mask_ = Mask64(block);
  }

  static std::uint64_t Mask64(const char* data) {
#if defined(__SSE2__)
    std::uint64_t mask = 0;
    for (int part = 0; part < 4; ++part) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + 16 * part));
      // Compared as signed bytes, so 0x80 and above fall below 0x20 with the control bytes.
      const __m128i printable =
          _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x1F)), _mm_cmplt_epi8(v, _mm_set1_epi8(0x7F)));
      // ";" "<" "=" ">" are 0x3B to 0x3E.
      __m128i special = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8(0x3A)),
                                      _mm_cmplt_epi8(v, _mm_set1_epi8(0x3F)));
      for (const char c : {'\\', '"', '#', '&', '+', ',', '~'}) {
        special = _mm_or_si128(special, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
      }
      const unsigned bits = (~static_cast<unsigned>(_mm_movemask_epi8(printable)) & 0xFFFF) |
                            static_cast<unsigned>(_mm_movemask_epi8(special));
      mask |= std::uint64_t{bits} << (16 * part);
    }
    return mask;
#else
    std::uint64_t mask = 0;
    for (int i = 0; i < 64; ++i) {
      if (!kPlain[static_cast<unsigned char>(data[i])]) mask |= std::uint64_t{1} << i;
    }
    return mask;
#endif
  }

  std::string_view text_;
  std::size_t base_ = 0;    // where the block of `mask_` starts
  std::uint64_t mask_ = 0;  // bit i: the byte at base_ + i is not copied as it is
  bool loaded_ = false;
};

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
  SpecialByteScanner scanner(value);
  for (std::size_t i = 0; i < value.size(); ++i) {
    // Most of a DN is letters, digits, spaces and dots, copied as they are in one go.
    const std::size_t plainEnd = scanner.Next(i);
    if (plainEnd > i) {
      out.append(value.data() + i, plainEnd - i);
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
      case '#':
        if (atValueStart) {
          AppendHexEscape(c, out);
        } else {
          out.push_back('#');
        }
        break;
      default:
        if (NeedsHexEscape(c)) {
          AppendHexEscape(c, out);
        } else {
          out.push_back(static_cast<char>(c));
        }
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
    // The text up to the next backslash is copied as it is, in one go.
    const std::size_t backslash = i + FindByte(value.substr(i), '\\');
    out.append(value.data() + i, backslash - i);
    i = backslash;
    if (i == value.size()) break;
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
  // Eight bytes at a time: a NUL, CR or LF, or a byte with its high bit set.
  constexpr std::uint64_t kOnes = 0x0101010101010101ull;
  constexpr std::uint64_t kHighBits = kOnes << 7;
  auto unsafe = [](std::uint64_t word) {
    auto zeroByte = [](std::uint64_t x) { return (x - kOnes) & ~x & kHighBits; };
    return ((word & kHighBits) | zeroByte(word) | zeroByte(word ^ (kOnes * '\r')) |
            zeroByte(word ^ (kOnes * '\n'))) != 0;
  };
  std::size_t i = 0;
  for (; i + 8 <= value.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, value.data() + i, 8);
    if (unsafe(word)) return false;
  }
  if (i < value.size()) {
    std::uint64_t word = kOnes * 'a';  // plain bytes beyond the end
    std::memcpy(&word, value.data() + i, value.size() - i);
    if (unsafe(word)) return false;
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
